// Test plan for the named lists (host functions 23 to 45):
//   1. Creation, names and handles: ten slots, the eleventh refused, freed
//      handles reused lowest first, look-up by name in any case, l_Name capacity.
//   2. Bad handles and indexes: every function refuses them with 2002 and
//      writes no out-argument.
//   3. Moving: first, last, next, previous, by index, off either end, unknown modes.
//   4. Editing: insert, replace and delete around the current element.
//   5. Delivery: elements that do not fit, empty elements, binary bytes.
//   6. Memory exhaustion: 2001 and nothing changed.
//   7. Dispatch: every list function is reached through VlCall by its number.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "services_int.h"
#include "testutil.h"

namespace {

using vltest::HostBuf;

class ListsTest : public vltest::StateTest {
 protected:
  // A new list holding the given elements; fails the test when it cannot.
  static std::int32_t MakeList(const std::vector<std::string> &elements, const std::string &name = "L") {
    HostBuf n(static_cast<int>(name.size()), name);
    std::int32_t hdl = -1;
    EXPECT_EQ(l_CreateList(&hdl, &n), 0);
    for (const std::string &e : elements) {
      HostBuf data(static_cast<int>(e.size()), e);
      EXPECT_EQ(l_Add(hdl, &data), 0);
    }
    return hdl;
  }

  // The current element, or "<none>" when there is none.
  static std::string Current(std::int32_t hdl) {
    HostBuf data(4096, "<none>");
    std::int32_t eol = -1;
    EXPECT_EQ(l_GetCurr(hdl, &data, &eol), 0);
    EXPECT_EQ(eol, data.str() == "<none>" ? 1 : 0);
    return data.str();
  }

  // All elements from first to last.
  static std::vector<std::string> Walk(std::int32_t hdl) {
    std::vector<std::string> out;
    HostBuf data(100000);
    std::int32_t eol = 0;
    std::int32_t rc = l_GetFirst(hdl, &data, &eol);
    while (rc == 0 && eol == 0) {
      out.push_back(data.str());
      rc = l_GetNext(hdl, &data, &eol);
    }
    EXPECT_EQ(rc, 0);
    return out;
  }
};

// --- 1. Creation, names and handles ---------------------------------------

TEST_F(ListsTest, TenListsThenTheEleventhIsRefused) {
  for (std::int32_t i = 1; i <= vl::kListSlots; ++i) EXPECT_EQ(MakeList({}), i);
  HostBuf name(8, "extra");
  std::int32_t hdl = 99;
  EXPECT_EQ(l_CreateList(&hdl, &name), 2000);
  EXPECT_EQ(hdl, 0);
}

TEST_F(ListsTest, FreedHandlesAreReusedLowestFirst) {
  for (int i = 0; i < vl::kListSlots; ++i) MakeList({"x"});
  std::int32_t seven = 7;
  std::int32_t three = 3;
  EXPECT_EQ(l_DeleteList(&seven), 0);
  EXPECT_EQ(seven, 0);
  EXPECT_EQ(l_DeleteList(&three), 0);
  EXPECT_EQ(MakeList({}, "again"), 3);
  EXPECT_EQ(Walk(3), std::vector<std::string>{});  // the new list starts empty
  EXPECT_EQ(MakeList({}), 7);
  HostBuf name(8);
  std::int32_t hdl = -1;
  EXPECT_EQ(l_CreateList(&hdl, &name), 2000);
}

TEST_F(ListsTest, DeletedHandleIsBadUntilReused) {
  std::int32_t hdl = MakeList({"a"});
  const std::int32_t old = hdl;
  ASSERT_EQ(l_DeleteList(&hdl), 0);
  HostBuf data(8, "keep");
  std::int32_t eol = 5;
  EXPECT_EQ(l_GetFirst(old, &data, &eol), 2002);
  EXPECT_EQ(data.str(), "keep");
  EXPECT_EQ(eol, 5);
  std::int32_t again = old;
  EXPECT_EQ(l_DeleteList(&again), 2002);
  EXPECT_EQ(again, old);
  std::int32_t zero = 0;
  EXPECT_EQ(l_DeleteList(&zero), 2002);
}

TEST_F(ListsTest, SameNameTwiceFindsTheLowerHandleInAnyCase) {
  EXPECT_EQ(MakeList({}, "other"), 1);
  EXPECT_EQ(MakeList({}, "Names"), 2);
  EXPECT_EQ(MakeList({}, "NAMES"), 3);
  struct Case {
    const char *name;
    std::int32_t hdl;
  } cases[] = {{"names", 2}, {"NaMeS", 2}, {"NAMES", 2}, {"name", 0}, {"namess", 0}, {"", 0}, {"OTHER", 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::int32_t hdl = -1;
    EXPECT_EQ(l_HdlByName(c.name, &hdl), 0);
    EXPECT_EQ(hdl, c.hdl);
  }
  std::int32_t two = 2;
  ASSERT_EQ(l_DeleteList(&two), 0);
  std::int32_t hdl = -1;
  EXPECT_EQ(l_HdlByName("names", &hdl), 0);
  EXPECT_EQ(hdl, 3);
}

TEST_F(ListsTest, NameComesBackAsTheTextGiven) {
  const std::string longName(100000, 'N');
  const std::string binary("\xff~$", 3);
  for (const std::string &given : {std::string("Mixed Case"), binary, longName, std::string()}) {
    vl::ResetListsForTest();
    const std::int32_t hdl = MakeList({}, given);
    HostBuf name(static_cast<int>(given.size()));
    EXPECT_EQ(l_Name(hdl, &name), 0);
    EXPECT_EQ(name.str(), given);
  }
}

TEST_F(ListsTest, NameEndsAtItsFirstNul) {
  // A list's name is a text: bytes after a NUL are not part of it, so l_Name
  // delivers the text before the NUL and l_HdlByName finds the list by it.
  const std::string given("a\0b\xff~$", 6);
  const std::int32_t hdl = MakeList({}, given);
  HostBuf name(16, "old");
  EXPECT_EQ(l_Name(hdl, &name), 0);
  EXPECT_EQ(name.str(), "a");
  std::int32_t found = -1;
  EXPECT_EQ(l_HdlByName("A", &found), 0);
  EXPECT_EQ(found, hdl);
  // A name that begins with a NUL is empty.
  const std::int32_t second = MakeList({}, std::string("\0x", 2));
  EXPECT_EQ(l_Name(second, &name), 0);
  EXPECT_EQ(name.str(), "");
}

TEST_F(ListsTest, NameLongerThanCapacityGives18) {
  const std::int32_t hdl = MakeList({}, "Colours");
  HostBuf small(6, "keep");
  EXPECT_EQ(l_Name(hdl, &small), 18);
  EXPECT_EQ(small.str(), "keep");
  HostBuf exact(7);
  EXPECT_EQ(l_Name(hdl, &exact), 0);
  EXPECT_EQ(exact.str(), "Colours");
}

TEST_F(ListsTest, DeleteAllFreesEverySlot) {
  for (int i = 0; i < vl::kListSlots; ++i) MakeList({"a", "b"});
  EXPECT_EQ(l_DeleteAll(), 0);
  EXPECT_EQ(l_DeleteAll(), 0);
  std::int32_t eol = 0;
  EXPECT_EQ(l_SeekFirst(1, &eol), 2002);
  EXPECT_EQ(MakeList({}), 1);
}

// --- 2. Bad handles and indexes --------------------------------------------

TEST_F(ListsTest, EveryFunctionRefusesABadHandle) {
  MakeList({"a"});  // handle 1 exists
  HostBuf data(16, "keep");
  std::int32_t eol = 7;
  using Fn = std::int32_t (*)(std::int32_t, HostBuf &, std::int32_t &);
  struct Case {
    const char *name;
    Fn call;
  } cases[] = {
      {"l_Name", [](std::int32_t h, HostBuf &d, std::int32_t &) { return l_Name(h, &d); }},
      {"l_Add", [](std::int32_t h, HostBuf &d, std::int32_t &) { return l_Add(h, &d); }},
      {"l_Ins", [](std::int32_t h, HostBuf &d, std::int32_t &) { return l_Ins(h, &d); }},
      {"l_Set", [](std::int32_t h, HostBuf &d, std::int32_t &) { return l_Set(h, &d); }},
      {"l_Del", [](std::int32_t h, HostBuf &, std::int32_t &e) { return l_Del(h, &e); }},
      {"l_Get", [](std::int32_t h, HostBuf &d, std::int32_t &e) { return l_Get(h, 1, &d, &e); }},
      {"l_GetCurr", [](std::int32_t h, HostBuf &d, std::int32_t &e) { return l_GetCurr(h, &d, &e); }},
      {"l_GetFirst", [](std::int32_t h, HostBuf &d, std::int32_t &e) { return l_GetFirst(h, &d, &e); }},
      {"l_GetLast", [](std::int32_t h, HostBuf &d, std::int32_t &e) { return l_GetLast(h, &d, &e); }},
      {"l_GetNext", [](std::int32_t h, HostBuf &d, std::int32_t &e) { return l_GetNext(h, &d, &e); }},
      {"l_GetPrev", [](std::int32_t h, HostBuf &d, std::int32_t &e) { return l_GetPrev(h, &d, &e); }},
      {"l_GetIdx", [](std::int32_t h, HostBuf &d, std::int32_t &e) { return l_GetIdx(h, 1, &d, &e); }},
      {"l_Seek", [](std::int32_t h, HostBuf &, std::int32_t &e) { return l_Seek(h, 1, &e); }},
      {"l_SeekCurr", [](std::int32_t h, HostBuf &, std::int32_t &e) { return l_SeekCurr(h, &e); }},
      {"l_SeekFirst", [](std::int32_t h, HostBuf &, std::int32_t &e) { return l_SeekFirst(h, &e); }},
      {"l_SeekLast", [](std::int32_t h, HostBuf &, std::int32_t &e) { return l_SeekLast(h, &e); }},
      {"l_SeekNext", [](std::int32_t h, HostBuf &, std::int32_t &e) { return l_SeekNext(h, &e); }},
      {"l_SeekPrev", [](std::int32_t h, HostBuf &, std::int32_t &e) { return l_SeekPrev(h, &e); }},
      {"l_SeekIdx", [](std::int32_t h, HostBuf &, std::int32_t &e) { return l_SeekIdx(h, 1, &e); }},
  };
  for (const Case &c : cases) {
    for (const std::int32_t hdl : {0, -1, 2, 10, 11, INT32_MIN, INT32_MAX}) {
      SCOPED_TRACE(std::string(c.name) + " hdl " + std::to_string(hdl));
      EXPECT_EQ(c.call(hdl, data, eol), 2002);
      EXPECT_EQ(data.str(), "keep");
      EXPECT_EQ(eol, 7);
    }
  }
  EXPECT_EQ(Walk(1), std::vector<std::string>{"a"});
}

TEST_F(ListsTest, IndexBelowOneIsABadHandleResult) {
  const std::int32_t hdl = MakeList({"a", "b"});
  std::int32_t eol = 0;
  ASSERT_EQ(l_SeekFirst(hdl, &eol), 0);
  for (const std::int32_t idx : {0, -1, INT32_MIN}) {
    SCOPED_TRACE(idx);
    HostBuf data(8, "keep");
    eol = 9;
    EXPECT_EQ(l_GetIdx(hdl, idx, &data, &eol), 2002);
    EXPECT_EQ(l_SeekIdx(hdl, idx, &eol), 2002);
    EXPECT_EQ(data.str(), "keep");
    EXPECT_EQ(eol, 9);
    EXPECT_EQ(Current(hdl), "a");  // the position did not move
  }
}

// --- 3. Moving ---------------------------------------------------------------

TEST_F(ListsTest, EmptyListHasNoCurrentElement) {
  const std::int32_t hdl = MakeList({});
  HostBuf data(8, "keep");
  std::int32_t eol = 0;
  EXPECT_EQ(l_GetFirst(hdl, &data, &eol), 0);
  EXPECT_EQ(eol, 1);
  EXPECT_EQ(data.str(), "keep");
  eol = 0;
  EXPECT_EQ(l_GetLast(hdl, &data, &eol), 0);
  EXPECT_EQ(eol, 1);
  eol = 5;
  EXPECT_EQ(l_GetNext(hdl, &data, &eol), 2003);
  EXPECT_EQ(l_GetPrev(hdl, &data, &eol), 2003);
  EXPECT_EQ(l_SeekNext(hdl, &eol), 2003);
  EXPECT_EQ(l_SeekPrev(hdl, &eol), 2003);
  EXPECT_EQ(l_Get(hdl, 3, &data, &eol), 2003);
  EXPECT_EQ(l_Seek(hdl, 4, &eol), 2003);
  EXPECT_EQ(eol, 5);
  EXPECT_EQ(l_GetIdx(hdl, 1, &data, &eol), 0);
  EXPECT_EQ(eol, 1);
  EXPECT_EQ(data.str(), "keep");
}

TEST_F(ListsTest, AddingNeverMovesThePosition) {
  const std::int32_t hdl = MakeList({"one", "two", "three"});
  EXPECT_EQ(Current(hdl), "<none>");
  std::int32_t eol = 0;
  ASSERT_EQ(l_SeekFirst(hdl, &eol), 0);
  EXPECT_EQ(eol, 0);
  HostBuf data(16);
  EXPECT_EQ(l_GetNext(hdl, &data, &eol), 0);
  EXPECT_EQ(data.str(), "two");
  EXPECT_EQ(eol, 0);
  HostBuf four(4, "four");
  ASSERT_EQ(l_Add(hdl, &four), 0);
  EXPECT_EQ(Current(hdl), "two");
}

TEST_F(ListsTest, MovesFollowTheModeTable) {
  // Each row starts on the element named by `from` (index, 0 = none), makes one
  // move and expects the element then current ("<none>" for none) and eol.
  struct Case {
    const char *what;
    int from;
    std::int32_t (*move)(std::int32_t hdl, std::int32_t *eol);
    std::int32_t result;
    const char *current;
  } cases[] = {
      {"first", 2, [](std::int32_t h, std::int32_t *e) { return l_SeekFirst(h, e); }, 0, "a"},
      {"last", 1, [](std::int32_t h, std::int32_t *e) { return l_SeekLast(h, e); }, 0, "c"},
      {"next", 1, [](std::int32_t h, std::int32_t *e) { return l_SeekNext(h, e); }, 0, "b"},
      {"next off the end", 3, [](std::int32_t h, std::int32_t *e) { return l_SeekNext(h, e); }, 0, "<none>"},
      {"previous", 3, [](std::int32_t h, std::int32_t *e) { return l_SeekPrev(h, e); }, 0, "b"},
      {"previous off the front", 1, [](std::int32_t h, std::int32_t *e) { return l_SeekPrev(h, e); }, 0, "<none>"},
      {"current", 2, [](std::int32_t h, std::int32_t *e) { return l_SeekCurr(h, e); }, 0, "b"},
      {"current none", 0, [](std::int32_t h, std::int32_t *e) { return l_SeekCurr(h, e); }, 0, "<none>"},
      {"mode 1", 3, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, 1, e); }, 0, "a"},
      {"mode 2", 1, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, 2, e); }, 0, "c"},
      {"mode 3", 1, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, 3, e); }, 0, "b"},
      {"mode 4", 2, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, 4, e); }, 0, "a"},
      {"mode 0 stays", 2, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, 0, e); }, 0, "b"},
      {"mode 7 stays", 3, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, 7, e); }, 0, "c"},
      {"mode -1 stays off", 0, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, -1, e); }, 0, "<none>"},
      {"mode 3 needs current", 0, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, 3, e); }, 2003, "<none>"},
      {"mode 4 needs current", 0, [](std::int32_t h, std::int32_t *e) { return l_Seek(h, 4, e); }, 2003, "<none>"},
      {"index 1", 3, [](std::int32_t h, std::int32_t *e) { return l_SeekIdx(h, 1, e); }, 0, "a"},
      {"index 3", 0, [](std::int32_t h, std::int32_t *e) { return l_SeekIdx(h, 3, e); }, 0, "c"},
      {"index past the end", 2, [](std::int32_t h, std::int32_t *e) { return l_SeekIdx(h, 4, e); }, 0, "<none>"},
      {"index huge", 2, [](std::int32_t h, std::int32_t *e) { return l_SeekIdx(h, INT32_MAX, e); }, 0, "<none>"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    vl::ResetListsForTest();
    const std::int32_t hdl = MakeList({"a", "b", "c"});
    std::int32_t eol = 0;
    if (c.from > 0) {
      ASSERT_EQ(l_SeekIdx(hdl, c.from, &eol), 0);
    }
    eol = 9;
    EXPECT_EQ(c.move(hdl, &eol), c.result);
    EXPECT_EQ(eol, c.result != 0 ? 9 : (std::string(c.current) == "<none>" ? 1 : 0));
    EXPECT_EQ(Current(hdl), c.current);
  }
}

TEST_F(ListsTest, GetFunctionsMoveThenDeliver) {
  const std::int32_t hdl = MakeList({"a", "b", "c"});
  HostBuf data(8);
  std::int32_t eol = 9;
  EXPECT_EQ(l_GetLast(hdl, &data, &eol), 0);
  EXPECT_EQ(data.str(), "c");
  EXPECT_EQ(l_GetPrev(hdl, &data, &eol), 0);
  EXPECT_EQ(data.str(), "b");
  EXPECT_EQ(l_GetIdx(hdl, 1, &data, &eol), 0);
  EXPECT_EQ(data.str(), "a");
  EXPECT_EQ(l_Get(hdl, 2, &data, &eol), 0);
  EXPECT_EQ(data.str(), "c");
  EXPECT_EQ(l_Get(hdl, 4, &data, &eol), 0);
  EXPECT_EQ(data.str(), "b");
  EXPECT_EQ(l_Get(hdl, 0, &data, &eol), 0);
  EXPECT_EQ(data.str(), "b");
  EXPECT_EQ(eol, 0);
  // Running off the end leaves the last delivered value in place.
  EXPECT_EQ(l_Get(hdl, 3, &data, &eol), 0);
  EXPECT_EQ(l_Get(hdl, 3, &data, &eol), 0);
  EXPECT_EQ(eol, 1);
  EXPECT_EQ(data.str(), "c");
  EXPECT_EQ(l_GetIdx(hdl, 9, &data, &eol), 0);
  EXPECT_EQ(eol, 1);
  EXPECT_EQ(data.str(), "c");
}

// --- 4. Editing --------------------------------------------------------------

TEST_F(ListsTest, InsertGoesBeforeTheCurrentElementAndBecomesCurrent) {
  const std::int32_t hdl = MakeList({"a", "c"});
  std::int32_t eol = 0;
  ASSERT_EQ(l_SeekLast(hdl, &eol), 0);
  HostBuf b(1, "b");
  EXPECT_EQ(l_Ins(hdl, &b), 0);
  EXPECT_EQ(Current(hdl), "b");
  ASSERT_EQ(l_SeekFirst(hdl, &eol), 0);
  HostBuf first(5, "first");
  EXPECT_EQ(l_Ins(hdl, &first), 0);  // before the first: the new first element
  EXPECT_EQ(Walk(hdl), (std::vector<std::string>{"first", "a", "b", "c"}));
  HostBuf prev(8);
  ASSERT_EQ(l_GetLast(hdl, &prev, &eol), 0);
  ASSERT_EQ(l_GetPrev(hdl, &prev, &eol), 0);  // the back links are right too
  EXPECT_EQ(prev.str(), "b");
}

TEST_F(ListsTest, InsertAndReplaceNeedACurrentElement) {
  const std::int32_t hdl = MakeList({"a"});
  HostBuf data(3, "new");
  EXPECT_EQ(l_Ins(hdl, &data), 2003);
  EXPECT_EQ(l_Set(hdl, &data), 2003);
  std::int32_t eol = 4;
  EXPECT_EQ(l_Del(hdl, &eol), 2003);
  EXPECT_EQ(eol, 4);
  EXPECT_EQ(Walk(hdl), std::vector<std::string>{"a"});
}

TEST_F(ListsTest, ReplaceChangesOnlyTheCurrentElement) {
  const std::int32_t hdl = MakeList({"a", "b", "c"});
  std::int32_t eol = 0;
  ASSERT_EQ(l_SeekIdx(hdl, 2, &eol), 0);
  HostBuf longer(200, std::string(200, 'L'));
  EXPECT_EQ(l_Set(hdl, &longer), 0);
  EXPECT_EQ(Walk(hdl), (std::vector<std::string>{"a", std::string(200, 'L'), "c"}));
  ASSERT_EQ(l_SeekIdx(hdl, 2, &eol), 0);
  HostBuf empty(0);
  EXPECT_EQ(l_Set(hdl, &empty), 0);
  EXPECT_EQ(Current(hdl), "");
}

TEST_F(ListsTest, DeleteMakesTheSuccessorCurrent) {
  struct Case {
    int at;
    std::vector<std::string> rest;
    const char *current;
    const char *last;
  } cases[] = {
      {1, {"b", "c"}, "b", "c"},
      {2, {"a", "c"}, "c", "c"},
      {3, {"a", "b"}, "<none>", "b"},  // the last link is the old predecessor
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.at);
    vl::ResetListsForTest();
    const std::int32_t hdl = MakeList({"a", "b", "c"});
    std::int32_t eol = 9;
    ASSERT_EQ(l_SeekIdx(hdl, c.at, &eol), 0);
    EXPECT_EQ(l_Del(hdl, &eol), 0);
    EXPECT_EQ(eol, std::string(c.current) == "<none>" ? 1 : 0);
    EXPECT_EQ(Current(hdl), c.current);
    HostBuf last(8);
    ASSERT_EQ(l_GetLast(hdl, &last, &eol), 0);
    EXPECT_EQ(last.str(), c.last);
    EXPECT_EQ(Walk(hdl), c.rest);
  }
}

TEST_F(ListsTest, DeletingEveryElementLeavesAnEmptyList) {
  const std::int32_t hdl = MakeList({"a", "b"});
  std::int32_t eol = 0;
  ASSERT_EQ(l_SeekFirst(hdl, &eol), 0);
  EXPECT_EQ(l_Del(hdl, &eol), 0);
  EXPECT_EQ(eol, 0);
  EXPECT_EQ(l_Del(hdl, &eol), 0);
  EXPECT_EQ(eol, 1);
  EXPECT_EQ(l_SeekFirst(hdl, &eol), 0);
  EXPECT_EQ(eol, 1);
  HostBuf x(1, "x");
  ASSERT_EQ(l_Add(hdl, &x), 0);
  EXPECT_EQ(Walk(hdl), std::vector<std::string>{"x"});
}

// --- 5. Delivery -------------------------------------------------------------

TEST_F(ListsTest, ElementTooLongKeepsTheNewPosition) {
  const std::int32_t hdl = MakeList({"a", "longer", "b"});
  std::int32_t eol = 9;
  HostBuf data(3, "xyz");
  ASSERT_EQ(l_GetFirst(hdl, &data, &eol), 0);
  EXPECT_EQ(data.str(), "a");
  eol = 9;
  EXPECT_EQ(l_GetNext(hdl, &data, &eol), 18);
  EXPECT_EQ(eol, 0);
  EXPECT_EQ(data.str(), "a");
  EXPECT_EQ(l_GetNext(hdl, &data, &eol), 0);
  EXPECT_EQ(data.str(), "b");
}

TEST_F(ListsTest, ElementsKeepEveryByte) {
  const std::vector<std::string> elements = {
      std::string(), std::string("\0", 1), std::string("a\0b\r\n\xff", 6), "~$~", std::string(70000, 'v'),
  };
  const std::int32_t hdl = MakeList(elements);
  EXPECT_EQ(Walk(hdl), elements);
  // An empty element fits a capacity of 0; a non-empty one does not.
  HostBuf none(0);
  std::int32_t eol = 9;
  EXPECT_EQ(l_GetFirst(hdl, &none, &eol), 0);
  EXPECT_EQ(none.hs.len, 0);
  EXPECT_EQ(eol, 0);
  EXPECT_EQ(l_GetNext(hdl, &none, &eol), 18);
}

TEST_F(ListsTest, HostLengthBeyondCapacityCountsOnlyTheCapacity) {
  const std::int32_t hdl = MakeList({});
  HostBuf data(3, "abc");
  data.hs.len = 1000;
  ASSERT_EQ(l_Add(hdl, &data), 0);
  data.hs.len = -5;
  ASSERT_EQ(l_Add(hdl, &data), 0);
  EXPECT_EQ(Walk(hdl), (std::vector<std::string>{"abc", ""}));
}

// --- 6. Memory exhaustion ----------------------------------------------------

TEST_F(ListsTest, CreateWithoutMemoryGives2001AndKeepsTheSlotFree) {
  HostBuf name(4, "name");
  std::int32_t hdl = 5;
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(l_CreateList(&hdl, &name), 2001);
  EXPECT_EQ(hdl, 0);
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(MakeList({}), 1);
}

TEST_F(ListsTest, EditsWithoutMemoryChangeNothing) {
  const std::int32_t hdl = MakeList({"a", "b"});
  std::int32_t eol = 0;
  ASSERT_EQ(l_SeekLast(hdl, &eol), 0);
  HostBuf data(3, "new");
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(l_Add(hdl, &data), 2001);
  EXPECT_EQ(l_Ins(hdl, &data), 2001);
  EXPECT_EQ(l_Set(hdl, &data), 2001);
  HostBuf empty(0);
  EXPECT_EQ(l_Set(hdl, &empty), 0);  // an empty value needs no memory
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(Current(hdl), "");
  HostBuf back(1, "b");
  ASSERT_EQ(l_Set(hdl, &back), 0);
  EXPECT_EQ(Walk(hdl), (std::vector<std::string>{"a", "b"}));
}

// --- 7. Dispatch -------------------------------------------------------------

TEST_F(ListsTest, FunctionsAreReachedThroughVlCall) {
  HostBuf name(8, "viaCall");
  std::int32_t hdl = 0;
  void *create[] = {&hdl, &name};
  ASSERT_EQ(VlCall(23, create), 0);
  ASSERT_EQ(hdl, 1);
  HostBuf data(8, "elem");
  void *add[] = {&hdl, &data};
  ASSERT_EQ(VlCall(28, add), 0);
  std::int32_t eol = 9;
  std::int32_t idx = 1;
  HostBuf out(8);
  void *getIdx[] = {&hdl, &idx, &out, &eol};
  EXPECT_EQ(VlCall(38, getIdx), 0);
  EXPECT_EQ(out.str(), "elem");
  EXPECT_EQ(eol, 0);
  std::int32_t found = 0;
  char text[] = "VIACALL";
  void *byName[] = {text, &found};
  EXPECT_EQ(VlCall(25, byName), 0);
  EXPECT_EQ(found, 1);
  // Functions without arguments read nothing from the vector.
  EXPECT_EQ(VlCall(27, nullptr), 0);
  void *seek[] = {&hdl, &eol};
  EXPECT_EQ(VlCall(41, seek), 2002);
}

}  // namespace
