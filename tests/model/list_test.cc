#include "model_fixture.h"

namespace {

using ListTest = ModelTest;

TEST_F(ListTest, AppendKeepsOrderAndHostUnlinksAnywhere) {
    portgroup_entry *a = add_portgroup("a", "1");
    portgroup_entry *b = add_portgroup("b", "2");
    portgroup_entry *c = add_portgroup("c", "3");
    EXPECT_EQ(names<portgroup_entry>(portgroups), "a b c");
    EXPECT_EQ(a->link.prev_link, &portgroups.first);
    EXPECT_EQ(portgroups.tail_link, &c->link.next);

    list_unlink(&portgroups, b);
    free_portgroup_entry(b);
    EXPECT_EQ(names<portgroup_entry>(portgroups), "a c");
    EXPECT_TRUE(list_is_consistent<portgroup_entry>(&portgroups));

    list_unlink(&portgroups, c);
    free_portgroup_entry(c);
    EXPECT_EQ(portgroups.tail_link, &a->link.next);
    add_portgroup("d", "4");
    EXPECT_EQ(names<portgroup_entry>(portgroups), "a d");

    list_unlink(&portgroups, a);
    free_portgroup_entry(a);
    EXPECT_EQ(names<portgroup_entry>(portgroups), "d");
    EXPECT_TRUE(list_is_consistent<portgroup_entry>(&portgroups));
}

TEST_F(ListTest, ConsistencyCheckCatchesABrokenBackLink) {
    portgroup_entry *a = add_portgroup("a", "1");
    add_portgroup("b", "2");
    void **saved = portgroups.tail_link;
    portgroups.tail_link = &a->link.next;
    EXPECT_FALSE(list_is_consistent<portgroup_entry>(&portgroups));
    portgroups.tail_link = saved;
    a->link.prev_link = nullptr;
    EXPECT_FALSE(list_is_consistent<portgroup_entry>(&portgroups));
    a->link.prev_link = &portgroups.first;
}

} // namespace
