// Test plan for the host variables (host functions 6 to 8):
//   1. Set, get and unset: missing variables, empty values, replaced values,
//      values that do not fit.
//   2. Names: matched exactly, byte for byte, with regard to case and length.
//   3. The table: growth by 100 entries, lowest free entry reused; the table and
//      its index agree with a plain model through many random changes.
//   4. Memory exhaustion at each copy: result 2 and nothing changed.
//   5. Dispatch through VlCall.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "services_int.h"
#include "testutil.h"

namespace {

using vltest::HostBuf;

class HostVarsTest : public vltest::StateTest {
 protected:
  static std::int32_t Set(const std::string &name, const std::string &value) {
    HostBuf n(static_cast<int>(name.size()), name);
    HostBuf v(static_cast<int>(value.size()), value);
    return v_Set(&n, &v);
  }

  static std::int32_t Unset(const std::string &name) {
    HostBuf n(static_cast<int>(name.size()), name);
    return v_Unset(&n);
  }

  // The value delivered for `name` into a string of capacity `cap` that held "old".
  static std::string Get(const std::string &name, std::int32_t *result = nullptr, int cap = 200000) {
    HostBuf n(static_cast<int>(name.size()), name);
    HostBuf v(cap, std::string("old").substr(0, static_cast<std::size_t>(cap)));
    const std::int32_t rc = v_Get(&n, &v);
    if (result != nullptr) {
      *result = rc;
    } else {
      EXPECT_EQ(rc, 0);
    }
    return v.str();
  }
};

// --- 1. Set, get and unset -----------------------------------------------------

TEST_F(HostVarsTest, MissingVariableGivesAnEmptyValue) {
  EXPECT_EQ(Get("never"), "");
  ASSERT_EQ(Set("gone", "value"), 0);
  ASSERT_EQ(Unset("gone"), 0);
  EXPECT_EQ(Get("gone"), "");
  EXPECT_EQ(vl::VarEntryOf("gone"), -1);
  EXPECT_EQ(Unset("gone"), 0);  // a missing variable is no error
  EXPECT_EQ(Unset("never"), 0);
}

TEST_F(HostVarsTest, EmptyValueIsAVariable) {
  ASSERT_EQ(Set("empty", ""), 0);
  EXPECT_EQ(vl::VarEntryOf("empty"), 0);
  EXPECT_EQ(Get("empty"), "");
  ASSERT_EQ(Set("empty", "now"), 0);
  EXPECT_EQ(Get("empty"), "now");
  EXPECT_EQ(vl::VarEntryOf("empty"), 0);
}

TEST_F(HostVarsTest, SetReplacesTheValue) {
  ASSERT_EQ(Set("v", std::string(5000, 'x')), 0);
  ASSERT_EQ(Set("v", "short"), 0);
  EXPECT_EQ(Get("v"), "short");
  EXPECT_EQ(vl::Vars().used, 1u);
}

TEST_F(HostVarsTest, ValuesKeepEveryByte) {
  const std::string values[] = {
      std::string("\0", 1), std::string("a\0b\xff\r\n", 6), "~tilde~", "$dollar$", "xbuf$", std::string(100000, 'L'),
  };
  for (const std::string &value : values) {
    SCOPED_TRACE(value.size());
    ASSERT_EQ(Set("bytes", value), 0);
    EXPECT_EQ(Get("bytes"), value);
  }
}

TEST_F(HostVarsTest, ValueLongerThanCapacityGives18AndLeavesTheTarget) {
  ASSERT_EQ(Set("v", "12345"), 0);
  std::int32_t rc = -1;
  EXPECT_EQ(Get("v", &rc, 4), "old");
  EXPECT_EQ(rc, 18);
  EXPECT_EQ(Get("v", &rc, 5), "12345");
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(Set("e", ""), 0);
  EXPECT_EQ(Get("e", &rc, 0), "");
  EXPECT_EQ(rc, 0);
}

// --- 2. Names ------------------------------------------------------------------

TEST_F(HostVarsTest, NamesMatchExactly) {
  ASSERT_EQ(Set("AB", "ab-value"), 0);
  struct Case {
    std::string name;
    const char *value;
  } cases[] = {
      {"AB", "ab-value"},
      {"ABC", ""},  // a longer name that begins with a stored one is another name
      {"A", ""},
      {"ab", ""},   // case counts
      {"Ab", ""},
      {std::string("AB\0", 3), ""},
      {"", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Get(c.name), c.value);
  }
}

TEST_F(HostVarsTest, NamesWithNulBytesAndLongNamesAreDistinct) {
  const std::string a("n\0a", 3);
  const std::string b("n\0b", 3);
  const std::string longName(100000, 'n');
  ASSERT_EQ(Set(a, "A"), 0);
  ASSERT_EQ(Set(b, "B"), 0);
  ASSERT_EQ(Set(longName, "L"), 0);
  ASSERT_EQ(Set(longName + "x", "LX"), 0);
  ASSERT_EQ(Set("", "E"), 0);
  EXPECT_EQ(Get(a), "A");
  EXPECT_EQ(Get(b), "B");
  EXPECT_EQ(Get("n"), "");
  EXPECT_EQ(Get(longName), "L");
  EXPECT_EQ(Get(longName + "x"), "LX");
  EXPECT_EQ(Get(""), "E");
  EXPECT_EQ(vl::Vars().used, 5u);
}

// --- 3. The table ----------------------------------------------------------------

TEST_F(HostVarsTest, TableGrowsBy100AndReusesTheLowestFreeEntry) {
  EXPECT_EQ(vl::Vars().table.size(), 0u);
  ASSERT_EQ(Set("v0", "x"), 0);
  EXPECT_EQ(vl::Vars().table.size(), 100u);
  for (int i = 1; i < 150; ++i) ASSERT_EQ(Set("v" + std::to_string(i), std::to_string(i)), 0);
  EXPECT_EQ(vl::Vars().table.size(), 200u);
  for (int i = 0; i < 150; ++i) EXPECT_EQ(vl::VarEntryOf("v" + std::to_string(i)), i);

  ASSERT_EQ(Unset("v4"), 0);
  ASSERT_EQ(Unset("v120"), 0);
  ASSERT_EQ(Set("new1", "n"), 0);
  EXPECT_EQ(vl::VarEntryOf("new1"), 4);
  ASSERT_EQ(Set("new2", "n"), 0);
  EXPECT_EQ(vl::VarEntryOf("new2"), 120);
  ASSERT_EQ(Set("new3", "n"), 0);
  EXPECT_EQ(vl::VarEntryOf("new3"), 150);
  EXPECT_EQ(Get("v5"), "5");
  EXPECT_EQ(vl::Vars().table.size(), 200u);  // never shrinks

  for (int i = 0; i < 150; ++i) ASSERT_EQ(Unset("v" + std::to_string(i)), 0);
  EXPECT_EQ(vl::Vars().table.size(), 200u);
  ASSERT_EQ(Set("after", "a"), 0);
  EXPECT_EQ(vl::VarEntryOf("after"), 0);
}

TEST_F(HostVarsTest, TableAndIndexAgreeWithAModelThroughManyChanges) {
  std::map<std::string, std::string> values;      // name -> value
  std::map<std::string, long> entries;            // name -> entry
  std::set<long> freeEntries;
  long tableSize = 0;
  std::mt19937 random(12345);
  for (int step = 0; step < 40000; ++step) {
    const std::string name = "v" + std::to_string(random() % 3000);
    switch (random() % 3) {
      case 0: {
        const std::string value = std::to_string(step);
        ASSERT_EQ(Set(name, value), 0);
        if (values.count(name) == 0) {
          if (freeEntries.empty()) {
            for (long e = tableSize; e < tableSize + 100; ++e) freeEntries.insert(e);
            tableSize += 100;
          }
          entries[name] = *freeEntries.begin();
          freeEntries.erase(freeEntries.begin());
        }
        values[name] = value;
        break;
      }
      case 1:
        ASSERT_EQ(Unset(name), 0);
        if (values.erase(name) != 0) {
          freeEntries.insert(entries[name]);
          entries.erase(name);
        }
        break;
      default: {
        const auto found = values.find(name);
        ASSERT_EQ(Get(name), found == values.end() ? "" : found->second) << "step " << step;
        break;
      }
    }
  }
  EXPECT_EQ(static_cast<long>(vl::Vars().table.size()), tableSize);
  EXPECT_EQ(vl::Vars().used, values.size());
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "v" + std::to_string(i);
    const auto found = entries.find(name);
    ASSERT_EQ(vl::VarEntryOf(name), found == entries.end() ? -1 : found->second) << name;
  }
}

// --- 4. Memory exhaustion ----------------------------------------------------------

TEST_F(HostVarsTest, FailedGrowthOrNameCopyChangesNothing) {
  // The first new variable grows the table (check 1), copies the name (check 2)
  // and copies the value (check 3).
  for (const long passing : {0L, 1L, 2L}) {
    SCOPED_TRACE(passing);
    vl::ResetVarsForTest();
    vl::FailAllocationsAfter(passing);
    EXPECT_EQ(Set("name", "value"), 2);
    vl::FailAllocationsAfter(-1);
    EXPECT_EQ(vl::VarEntryOf("name"), -1);
    EXPECT_EQ(Get("name"), "");
    EXPECT_EQ(vl::Vars().used, 0u);
    ASSERT_EQ(Set("next", "n"), 0);
    EXPECT_EQ(vl::VarEntryOf("next"), 0);
  }
}

TEST_F(HostVarsTest, NewVariableWithEmptyValueNeedsNoValueCopy) {
  vl::FailAllocationsAfter(2);  // growth and name pass, a value copy would fail
  EXPECT_EQ(Set("name", ""), 0);
  EXPECT_EQ(vl::VarEntryOf("name"), 0);
}

TEST_F(HostVarsTest, FailedValueCopyKeepsTheOldValue) {
  ASSERT_EQ(Set("v", "old value"), 0);
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(Set("v", "new value"), 2);
  EXPECT_EQ(Set("v", ""), 0);  // an empty value needs no memory
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(Get("v"), "");
  ASSERT_EQ(Set("v", "old value"), 0);
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(Set("v", "other"), 2);
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(Get("v"), "old value");
}

TEST_F(HostVarsTest, ReusingAFreeEntryNeedsNoGrowth) {
  ASSERT_EQ(Set("a", "1"), 0);
  vl::FailAllocationsAfter(1);  // only the name copy passes: no growth may be asked for
  EXPECT_EQ(Set("b", ""), 0);
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(vl::VarEntryOf("b"), 1);
}

// --- 5. Dispatch ---------------------------------------------------------------------

TEST_F(HostVarsTest, FunctionsAreReachedThroughVlCall) {
  HostBuf name(4, "Name");
  HostBuf value(5, "Value");
  void *set[] = {&name, &value};
  ASSERT_EQ(VlCall(6, set), 0);
  HostBuf out(16, "old");
  void *get[] = {&name, &out};
  EXPECT_EQ(VlCall(8, get), 0);
  EXPECT_EQ(out.str(), "Value");
  void *unset[] = {&name};
  EXPECT_EQ(VlCall(7, unset), 0);
  EXPECT_EQ(VlCall(8, get), 0);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
