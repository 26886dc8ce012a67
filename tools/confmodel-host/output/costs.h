// What a change set costs each host and a restart, for people and for tools.
#ifndef CONFMODEL_HOST_OUTPUT_COSTS_H
#define CONFMODEL_HOST_OUTPUT_COSTS_H

#include "output/document.h"
#include "running/costs.h"

#include <ostream>

void print_costs(std::ostream &out, const Costs &costs);
ojson costs_json(const Costs &costs);

#endif
