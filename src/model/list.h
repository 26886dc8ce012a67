/* The tail queue behind portgroups, xnets and each xnet's xnetgroups, typed
 * for the module and its tests over the helpers a host has too: one
 * implementation writes next, prev_link and tail_link. */
#ifndef CONFMODEL_MODEL_LIST_H
#define CONFMODEL_MODEL_LIST_H

#include "confmodel_lists.h"

inline void list_init(list_head *head) {
    confmodel_list_init(head);
}

/* Constant time: the new entry goes where tail_link points. */
template <typename Entry> inline void list_append(list_head *head, Entry *entry) {
    confmodel_list_append(head, entry);
}

/* Constant time, through the back link; the host's counterpart to append. */
template <typename Entry> inline void list_unlink(list_head *head, Entry *entry) {
    confmodel_list_unlink(head, entry);
}

template <typename Entry> inline Entry *list_first(const list_head *head) {
    return static_cast<Entry *>(head->first);
}

template <typename Entry> inline Entry *list_next(const Entry *entry) {
    return static_cast<Entry *>(entry->link.next);
}

#define LIST_FOREACH(Entry, var, head)                                                             \
    for (Entry *var = list_first<Entry>(head); var != nullptr; var = list_next(var))

/* Every prev_link points at the pointer that points at its entry, and tail_link
 * at the last next (or at first when empty). For tests and fuzzing. */
template <typename Entry> inline bool list_is_consistent(const list_head *head) {
    void *const *expected = &head->first;
    for (Entry *e = list_first<Entry>(head); e != nullptr; e = list_next(e)) {
        if (e->link.prev_link != expected)
            return false;
        expected = &e->link.next;
    }
    return head->tail_link == expected;
}

#endif /* CONFMODEL_MODEL_LIST_H */
