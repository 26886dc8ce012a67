// Asking a running host (serve) over its socket, as the commands do when
// their SOURCE is one.
#ifndef CONFMODEL_HOST_SERVE_CLIENT_H
#define CONFMODEL_HOST_SERVE_CLIENT_H

#include "output/document.h"

#include <string>

// Whether path names a socket (a running host's), not a file to read.
bool is_socket(const std::string &path);

// Sends one request and returns its reply's output and exit status, as the
// command would print them; a host that refuses or cannot answer is a
// Failure naming the socket.
struct Answer {
    std::string output;
    int exit;
};
Answer ask(const std::string &socket, ojson request);

#endif
