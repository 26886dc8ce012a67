/* The list helpers of confmodel_lists.h, compiled as C as a host in C takes
 * them: each case builds a list of lettered entries, edits it, and checks
 * the order, every back link and the tail, then that the list still takes an
 * entry at its tail. */
#include <confmodel_lists.h>

#include <stdio.h>
#include <string.h>

typedef struct item {
    list_link link; /* first, as in every entry of the module */
    char name;
} item;

static item items[26];

static item *named(char name) {
    if (name == 0) return NULL;
    items[name - 'a'].name = name;
    return &items[name - 'a'];
}

static void build(list_head *list, const char *names) {
    confmodel_list_init(list);
    for (; *names != 0; names++)
        confmodel_list_append(list, named(*names));
}

/* The names in walking order, and whether each prev_link points at the
 * pointer that points at its entry and tail_link at the last next. */
static int describe(const list_head *list, char *out) {
    void *const *expected = &list->first;
    int whole = 1;
    CONFMODEL_LIST_FOREACH(const item, entry, list) {
        whole = whole && entry->link.prev_link == expected;
        expected = &entry->link.next;
        *out++ = entry->name;
    }
    *out = 0;
    return whole && list->tail_link == expected;
}

static int passed, failed;

static void expect(const char *what, const list_head *list, const char *names) {
    char seen[27];
    int whole = describe(list, seen);
    if (whole && strcmp(seen, names) == 0) {
        passed++;
        return;
    }
    failed++;
    printf("%s: \"%s\"%s, expected \"%s\"\n", what, seen, whole ? "" : " with broken links", names);
}

/* Edits `list` (built from `before`) and checks it against `after`, then
 * with z appended. */
static void check(const char *what, list_head *list, const char *after) {
    char with_tail[28];
    expect(what, list, after);
    sprintf(with_tail, "%sz", after);
    confmodel_list_append(list, named('z'));
    expect(what, list, with_tail);
}

int main(void) {
    static const struct {
        const char *list, *after;
        char entry;
    } unlinks[] = {
        {"abc", "bc", 'a'}, {"abc", "ac", 'b'}, {"abc", "ab", 'c'}, {"a", "", 'a'}};
    static const struct {
        const char *list, *after;
        char before; /* 0: at the tail */
    } inserts[] = {{"abc", "xabc", 'a'}, {"abc", "axbc", 'b'}, {"abc", "abxc", 'c'},
                   {"abc", "abcx", 0},   {"", "x", 0}};
    list_head list;
    char what[64];
    size_t i;

    for (i = 0; i < sizeof unlinks / sizeof *unlinks; i++) {
        sprintf(what, "unlink %c from \"%s\"", unlinks[i].entry, unlinks[i].list);
        build(&list, unlinks[i].list);
        confmodel_list_unlink(&list, named(unlinks[i].entry));
        check(what, &list, unlinks[i].after);
    }
    for (i = 0; i < sizeof inserts / sizeof *inserts; i++) {
        sprintf(what, "insert x before %c in \"%s\"", inserts[i].before ? inserts[i].before : '-',
                inserts[i].list);
        build(&list, inserts[i].list);
        confmodel_list_insert_before(&list, named(inserts[i].before), named('x'));
        expect(what, &list, inserts[i].after);
        /* Taken off again, the list is as it was. */
        confmodel_list_unlink(&list, named('x'));
        check(what, &list, inserts[i].list);
    }

    /* A walk by hand sees what the loop sees, and stops at the tail. */
    build(&list, "abc");
    {
        char seen[4] = {0};
        item *entry;
        for (i = 0, entry = confmodel_list_first(&list); entry != NULL && i < 3;
             entry = confmodel_list_next(entry))
            seen[i++] = entry->name;
        if (entry == NULL && strcmp(seen, "abc") == 0) {
            passed++;
        } else {
            failed++;
            printf("walk by first and next: \"%s\"\n", seen);
        }
    }
    confmodel_list_init(&list);
    expect("an empty list", &list, "");

    printf("%d passed, %d failed\n", passed, failed);
    return failed != 0;
}
