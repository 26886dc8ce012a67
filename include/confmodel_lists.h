/*
 * confmodel_lists.h: editing the lists a host owns.
 *
 * The module appends each entry it creates to `portgroups`, `xnets` or an
 * xnet's `xnetgroups`, and never unlinks one; the host unlinks an entry before
 * releasing it, and may link one anywhere. These helpers do that in constant
 * time over the list_link and list_head of confmodel.h. They are static inline:
 * the library exports none of them, and a host that loads the module with
 * dlopen uses them as one that links it does.
 *
 * Every entry kind begins with its list_link, so an entry's address is its
 * link's: the helpers take entries as void pointers. A list head must be in
 * the empty state (confmodel_list_init) before its first entry is linked.
 *
 * Releasing an xnetgroup, for example:
 *
 *     confmodel_list_unlink(&xnet->xnetgroups, member);
 *     member->portgroup->xnetgroup_count--;
 *     free_xnetgroup_entry(member);
 */
#ifndef CONFMODEL_LISTS_H
#define CONFMODEL_LISTS_H

#include "confmodel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* C89 has no inline; GCC's own spelling keeps unused helpers quiet there. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define CONFMODEL_LIST_INLINE static inline
#elif defined(__GNUC__)
#define CONFMODEL_LIST_INLINE static __inline__
#else
#define CONFMODEL_LIST_INLINE static
#endif

/* C converts from void * by itself; C++ takes a cast that a host's
 * -Wold-style-cast does not flag. */
#ifdef __cplusplus
#define CONFMODEL_LIST_CAST(type, pointer) static_cast<type>(pointer)
#else
#define CONFMODEL_LIST_CAST(type, pointer) ((type)(pointer))
#endif

/* The empty state: no first entry, the tail link at `first`. */
CONFMODEL_LIST_INLINE void confmodel_list_init(list_head *list) {
    list->first = NULL;
    list->tail_link = &list->first;
}

/* The first entry, or null when the list is empty. */
CONFMODEL_LIST_INLINE void *confmodel_list_first(const list_head *list) {
    return list->first;
}

/* The entry after `entry`, or null at the tail. */
CONFMODEL_LIST_INLINE void *confmodel_list_next(const void *entry) {
    return CONFMODEL_LIST_CAST(const list_link *, entry)->next;
}

/* Links `entry` before `before`, an entry of `list`; with `before` null, at
 * the tail, as the module appends. */
CONFMODEL_LIST_INLINE void confmodel_list_insert_before(list_head *list, void *before, void *entry) {
    list_link *link = CONFMODEL_LIST_CAST(list_link *, entry);
    void **at = before != NULL ? CONFMODEL_LIST_CAST(list_link *, before)->prev_link : list->tail_link;
    link->next = before;
    link->prev_link = at;
    *at = entry;
    if (before != NULL)
        CONFMODEL_LIST_CAST(list_link *, before)->prev_link = &link->next;
    else
        list->tail_link = &link->next;
}

/* Links `entry` at the tail of `list`. */
CONFMODEL_LIST_INLINE void confmodel_list_append(list_head *list, void *entry) {
    confmodel_list_insert_before(list, NULL, entry);
}

/* Takes `entry` off `list`, which it must be on; the entry itself is left as
 * it was, for the host to release or link again. */
CONFMODEL_LIST_INLINE void confmodel_list_unlink(list_head *list, void *entry) {
    list_link *link = CONFMODEL_LIST_CAST(list_link *, entry);
    if (link->next != NULL)
        CONFMODEL_LIST_CAST(list_link *, link->next)->prev_link = link->prev_link;
    else
        list->tail_link = link->prev_link;
    *link->prev_link = link->next;
}

/* Walks `list` in order, `var` a `type *` declared by the loop (C99 and C++):
 *     CONFMODEL_LIST_FOREACH(xnet_entry, xnet, &xnets) { ... }
 * The loop reads the next entry after its body: to unlink or release the
 * current one, walk with confmodel_list_first and confmodel_list_next and
 * take the next entry first. */
#define CONFMODEL_LIST_FOREACH(type, var, list)                                         \
    for (type *var = CONFMODEL_LIST_CAST(type *, confmodel_list_first(list)); var != NULL; \
         var = CONFMODEL_LIST_CAST(type *, confmodel_list_next(var)))

#ifdef __cplusplus
}
#endif

#endif /* CONFMODEL_LISTS_H */
