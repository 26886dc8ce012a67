/* The tail queue behind portgroups, xnets and each xnet's xnetgroups. This is
 * the only code that writes next, prev_link or tail_link. */
#ifndef CONFMODEL_MODEL_LIST_H
#define CONFMODEL_MODEL_LIST_H

#include "confmodel.h"

inline void list_init(list_head *head) {
    head->first = nullptr;
    head->tail_link = &head->first;
}

/* Constant time: the new entry goes where tail_link points. */
template <typename Entry> inline void list_append(list_head *head, Entry *entry) {
    entry->link.next = nullptr;
    entry->link.prev_link = head->tail_link;
    *head->tail_link = entry;
    head->tail_link = &entry->link.next;
}

/* Constant time, through the back link; the host's counterpart to append. */
template <typename Entry> inline void list_unlink(list_head *head, Entry *entry) {
    void *next = entry->link.next;
    if (next != nullptr)
        static_cast<Entry *>(next)->link.prev_link = entry->link.prev_link;
    else
        head->tail_link = entry->link.prev_link;
    *entry->link.prev_link = next;
}

/* Constant time: the entry goes before `before`, an entry of the list. The
 * module only appends; a host may link an entry anywhere. */
template <typename Entry> inline void list_insert_before(Entry *before, Entry *entry) {
    entry->link.next = before;
    entry->link.prev_link = before->link.prev_link;
    *before->link.prev_link = entry;
    before->link.prev_link = &entry->link.next;
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
