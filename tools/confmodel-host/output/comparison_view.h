// A comparison for people and for tools.
#ifndef CONFMODEL_HOST_OUTPUT_COMPARISON_VIEW_H
#define CONFMODEL_HOST_OUTPUT_COMPARISON_VIEW_H

#include "output/comparison.h"

#include <ostream>

// How a comparison reads: "before"/"after" for a change, "running"/
// "restarted" for a running model against a fresh start.
struct Sides {
    const char *before, *after;
};
void print_comparison(std::ostream &out, const Comparison &c, Sides sides, const char *indent);
ojson comparison_json(const Comparison &c, Sides sides);

#endif
