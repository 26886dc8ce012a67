/* The host's string duplicator, which the module uses for every pathname copy. */
#ifndef CONFMODEL_HOST_HOSK_H
#define CONFMODEL_HOST_HOSK_H

#ifdef __cplusplus
extern "C" {
#endif

/* A heap copy of text, released with free(); null when the copy failed. */
char *hosk_strdup(const char *text);

#ifdef __cplusplus
}
#endif

#endif /* CONFMODEL_HOST_HOSK_H */
