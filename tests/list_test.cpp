// The bounded list: its operations, its four misuse messages on standard output, and its checks.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "failure_test_support.hpp"
#include "search/velk_sr.hpp"

namespace {

using velk_sr::key_cl;
using velk_sr::list_entry;

std::vector<std::int32_t> keys_of(const key_cl::list& l) {
  std::vector<std::int32_t> keys;
  for (std::int32_t i = 1; i <= l.count; ++i) {
    keys.push_back(l.data[i].key);
  }
  return keys;
}

class ListTest : public ::testing::Test {
 protected:
  // Appends entries with the given keys; each entry's info is ten times its key.
  void fill(const std::vector<std::int32_t>& keys) {
    for (const std::int32_t key : keys) {
      key_cl::insertlist(l.count + 1, list_entry{key, key * 10}, l);
    }
  }
  void fill_to_capacity() {
    for (std::int32_t i = 1; i <= key_cl::max_size; ++i) {
      l.data[i] = list_entry{i, i};
    }
    l.count = key_cl::max_size;
  }

  std::unique_ptr<key_cl::list> owner = std::make_unique<key_cl::list>();
  key_cl::list& l = *owner;
};

TEST_F(ListTest, CreateAndClearEmptyTheListButLeaveTheSlots) {
  fill({4, 5, 6});
  key_cl::clearlist(l);
  EXPECT_TRUE(key_cl::listempty(l));
  EXPECT_EQ(key_cl::listsize(l), 0);
  EXPECT_EQ(l.data[2].key, 5);
  fill({7});
  key_cl::createlist(l);
  EXPECT_TRUE(key_cl::listempty(l));
  EXPECT_FALSE(key_cl::listfull(l));
  EXPECT_EQ(l.data[1].key, 7);
  EXPECT_EQ(l.data[3].key, 6);
}

TEST_F(ListTest, InsertAppendsAtTheEndAndShiftsAtTheFront) {
  fill({3, 5});
  key_cl::insertlist(3, list_entry{7, 70}, l);
  EXPECT_EQ(keys_of(l), (std::vector<std::int32_t>{3, 5, 7}));
  key_cl::insertlist(1, list_entry{1, 10}, l);
  EXPECT_EQ(keys_of(l), (std::vector<std::int32_t>{1, 3, 5, 7}));
  key_cl::insertlist(3, list_entry{4, 40}, l);
  EXPECT_EQ(keys_of(l), (std::vector<std::int32_t>{1, 3, 4, 5, 7}));
  EXPECT_EQ(l.data[5].info, 70);
}

TEST_F(ListTest, AListOf9999TakesOneMoreAndIsThenFull) {
  fill_to_capacity();
  l.count = key_cl::max_size - 1;
  key_cl::insertlist(1, list_entry{-1, 0}, l);
  EXPECT_TRUE(key_cl::listfull(l));
  EXPECT_EQ(l.data[1].key, -1);
  EXPECT_EQ(l.data[10000].key, 9999);
}

TEST_F(ListTest, DeleteAtTheEndAndAtTheFront) {
  fill({1, 2, 3, 4});
  list_entry le;
  key_cl::deletelist(4, le, l);
  EXPECT_EQ(le.key, 4);
  EXPECT_EQ(le.info, 40);
  EXPECT_EQ(keys_of(l), (std::vector<std::int32_t>{1, 2, 3}));
  key_cl::deletelist(1, le, l);
  EXPECT_EQ(le.key, 1);
  EXPECT_EQ(keys_of(l), (std::vector<std::int32_t>{2, 3}));
}

TEST_F(ListTest, RetrieveGivesBackWhatReplaceStored) {
  fill({1, 2, 3});
  key_cl::replacelist(2, list_entry{-8, 123}, l);
  list_entry le;
  key_cl::retrievelist(2, le, l);
  EXPECT_EQ(le.key, -8);
  EXPECT_EQ(le.info, 123);
  EXPECT_EQ(key_cl::listsize(l), 3);
}

TEST_F(ListTest, AnEntryGivenFromTheListItselfIsTakenAsItWasWhenPassed) {
  // Each operation on the keys 1, 2, 3 (infos 10, 20, 30) with one of the list's own slots as
  // its entry: an entry stored is the one passed, an entry handed back is written last.
  struct aliasing_case {
    const char* operation;
    void (*run)(key_cl::list&);
    std::vector<std::int32_t> keys;
    std::vector<std::int32_t> infos;
  };
  const aliasing_case cases[] = {
      {"insert slot 2 at 1",
       [](key_cl::list& l) { key_cl::insertlist(1, l.data[2], l); },
       {2, 1, 2, 3},
       {20, 10, 20, 30}},
      {"insert slot 3 at 2",
       [](key_cl::list& l) { key_cl::insertlist(2, l.data[3], l); },
       {1, 3, 2, 3},
       {10, 30, 20, 30}},
      {"insert slot 1 at 4",
       [](key_cl::list& l) { key_cl::insertlist(4, l.data[1], l); },
       {1, 2, 3, 1},
       {10, 20, 30, 10}},
      {"delete 1 into slot 2",
       [](key_cl::list& l) { key_cl::deletelist(1, l.data[2], l); },
       {2, 1},
       {20, 10}},
      {"delete 3 into slot 1",
       [](key_cl::list& l) { key_cl::deletelist(3, l.data[1], l); },
       {3, 2},
       {30, 20}},
      {"replace 1 by slot 3",
       [](key_cl::list& l) { key_cl::replacelist(1, l.data[3], l); },
       {3, 2, 3},
       {30, 20, 30}},
      {"retrieve 1 into slot 3",
       [](key_cl::list& l) { key_cl::retrievelist(1, l.data[3], l); },
       {1, 2, 1},
       {10, 20, 10}},
  };
  for (const aliasing_case& c : cases) {
    SCOPED_TRACE(c.operation);
    key_cl::clearlist(l);
    fill({1, 2, 3});
    c.run(l);
    EXPECT_EQ(keys_of(l), c.keys);
    std::vector<std::int32_t> infos;
    for (std::int32_t i = 1; i <= l.count; ++i) {
      infos.push_back(l.data[i].info);
    }
    EXPECT_EQ(infos, c.infos);
  }
  // Deleting into a slot past the new end leaves the list closed up and the entry in that slot.
  key_cl::clearlist(l);
  fill({1, 2, 3});
  key_cl::deletelist(2, l.data[3], l);
  EXPECT_EQ(keys_of(l), (std::vector<std::int32_t>{1, 3}));
  EXPECT_EQ(l.data[3].key, 2);
}

TEST_F(ListTest, RefusedOperationsWriteTheirMessageOnStandardOutputAndChangeNothing) {
  struct refusal {
    const char* message;
    void (*attempt)(key_cl::list&, list_entry&);
    bool full;
  };
  const refusal refusals[] = {
      {"Attempt to insert an entry into a full list\n",
       [](key_cl::list& l, list_entry& le) { key_cl::insertlist(1, le, l); }, true},
      {"Attempt to delete an entry fom an empty list\n",
       [](key_cl::list& l, list_entry& le) { key_cl::deletelist(1, le, l); }, false},
      {"Attempt to retrieve an entry fom an empty list\n",
       [](key_cl::list& l, list_entry& le) { key_cl::retrievelist(1, le, l); }, false},
      {"Attempt to replace an entry fom an empty list\n",
       [](key_cl::list& l, list_entry& le) { key_cl::replacelist(1, le, l); }, false},
  };
  for (const refusal& r : refusals) {
    SCOPED_TRACE(r.message);
    if (r.full) {
      fill_to_capacity();
    } else {
      l.data[1] = list_entry{42, 420};
      l.count = 0;
    }
    list_entry callers{-3, 33};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    r.attempt(l, callers);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), r.message);
    EXPECT_EQ(callers.key, -3);
    EXPECT_EQ(callers.info, 33);
    EXPECT_EQ(key_cl::listsize(l), r.full ? 10000 : 0);
    EXPECT_EQ(l.data[1].key, r.full ? 1 : 42);
    EXPECT_EQ(l.data[10000].key, r.full ? 10000 : l.data[10000].key);
  }
}

TEST_F(ListTest, PositionsOutsideTheArrayFailAtTheCall) {
  fill({1});
  list_entry le;
  EXPECT_FAILURE(constraint_error, key_cl::insertlist(0, le, l));
  EXPECT_FAILURE(constraint_error, key_cl::retrievelist(10001, le, l));
  EXPECT_EQ(keys_of(l), (std::vector<std::int32_t>{1}));
}

std::vector<std::int32_t> visited;
void record_and_double(list_entry& le) {
  visited.push_back(le.key);
  le.key *= 2;
}

TEST_F(ListTest, TraverseVisitsInOrderAndStoresBack) {
  visited.clear();
  key_cl::traverselist(l, record_and_double);
  EXPECT_TRUE(visited.empty());
  fill({3, 1, 2});
  key_cl::traverselist(l, record_and_double);
  EXPECT_EQ(visited, (std::vector<std::int32_t>{3, 1, 2}));
  EXPECT_EQ(keys_of(l), (std::vector<std::int32_t>{6, 2, 4}));
  EXPECT_EQ(l.data[1].info, 30);
}

TEST_F(ListTest, TraverseWithoutAVisitFailsOnlyWhenThereIsAnEntry) {
  EXPECT_NO_FAILURE(key_cl::traverselist(l, nullptr));
  fill({1});
  EXPECT_FAILURE(constraint_error, key_cl::traverselist(l, nullptr));
}

}  // namespace
