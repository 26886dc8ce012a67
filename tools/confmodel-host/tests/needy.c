/* A module that calls a function no host supplies. */
int host_supplies_no_such_function(void);

int needy(void);
int needy(void) { return host_supplies_no_such_function(); }
