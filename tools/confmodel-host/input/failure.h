// The program's error: a bad record, a bad file, a refused change. what() is
// the whole message, "where: reason", as the program prints it.
#ifndef CONFMODEL_HOST_INPUT_FAILURE_H
#define CONFMODEL_HOST_INPUT_FAILURE_H

#include <stdexcept>

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

#endif
