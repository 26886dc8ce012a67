// Asking a running host (serve) over its socket, as the commands do when
// their SOURCE is one.
#ifndef CONFMODEL_HOST_SERVE_CLIENT_H
#define CONFMODEL_HOST_SERVE_CLIENT_H

#include "output/document.h"

#include <unistd.h>

#include <string>

// Whether path names a socket (a running host's), not a file to read.
bool is_socket(const std::string &path);

// Sends one request, of form "text" or "json", and copies its output to
// the descriptor `out` as it comes (the raw bytes after the reply's line,
// spliced where the kernel can), after what std::cout holds; returns the
// exit status the command would exit with. A host that refuses or cannot
// answer is a Failure naming the socket.
int ask(const std::string &socket, ojson request, int out = STDOUT_FILENO);

#endif
