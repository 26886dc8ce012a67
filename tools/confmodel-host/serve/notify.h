// What a running host tells the service manager that started it: ready once
// the model is built, and the commit it took last. Nothing where the build
// has no libsystemd, or no manager listens.
#ifndef CONFMODEL_HOST_SERVE_NOTIFY_H
#define CONFMODEL_HOST_SERVE_NOTIFY_H

#include "serve/requests.h"

void notify_ready(const ServeState &state);
void notify_status(const ServeState &state);

#endif
