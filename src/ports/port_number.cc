#include "confmodel.h"

#include <stdio.h>

/* Pathnames number ports from 1, the module from 0: "/ports/port3" is port 2.
 * Anything after the number is ignored, so a subport's pathname gives its
 * parent's number. */
int get_parent_port_number(const char *pathname) {
    int number;
    if (pathname == nullptr || sscanf(pathname, "/ports/port%d", &number) != 1)
        return -1;
    /* Subtracted unsigned so that the lowest int wraps rather than overflows. */
    return static_cast<int>(static_cast<unsigned>(number) - 1u);
}
