#include "store/AssignmentStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <utility>
#include <vector>

#include "foundation/BoardKeys.h"
#include "store/KeyButtonRefresher.h"

namespace kst {
namespace {

KeyAssignment Entry(AssignmentKind kind, std::uint16_t extra, std::uint32_t param) {
  KeyAssignment e;
  e.kind = static_cast<std::uint16_t>(kind);
  e.extra = extra;
  e.param = param;
  return e;
}

std::uint16_t U16At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

class RecordingRefresher : public KeyButtonRefresher {
 public:
  void RefreshKeyButton(int profile, AssignmentSlot slot) override {
    refreshed.emplace_back(profile, slot);
  }
  std::vector<std::pair<int, int>> refreshed;
};

MacroRecord Macro(std::uint16_t number, std::uint16_t fresh = 0) {
  MacroRecord r;
  r.SetName(u"m");
  r.number = number;
  r.fresh = fresh;
  return r;
}

TEST(AssignmentStoreTest, FreshStoreHoldsOnlyTheGKeyCodes) {
  AssignmentStore store;
  EXPECT_EQ(store.TextBytesTotal(), 0u);
  EXPECT_EQ(store.MacroCount(), 0);
  for (int p = 0; p < kProfileCount; ++p) {
    for (int s = 0; s < kSlotsPerProfile; ++s) {
      const KeyAssignment e = store.GetAssignment(p, s);
      EXPECT_EQ(e, Entry(AssignmentKind::Default, GKeyCode(s), 0)) << p << "/" << s;
    }
  }
  // G key 3 of bank B in profile 1 is entry 779.
  const AssignmentSlot g3b = GKeySlot(GKeyBankFromLedStatusByte(0x01), 2);
  EXPECT_EQ(EntryIndex(1, g3b), 779);
  EXPECT_EQ(store.GetAssignment(1, g3b).extra, 0x1303);
  EXPECT_EQ(GKeySlot(GKeyBankFromLedStatusByte(0xFE), 0), 256);
}

TEST(AssignmentStoreTest, MediaKeyTableLookups) {
  const struct {
    std::uint16_t usage;
    int index;
  } cases[] = {{0x0183, 0}, {0x00E2, 7}, {0x018A, 17}, {0x0000, -1}, {0x00E9 + 0x100, -1}};
  for (const auto& c : cases) EXPECT_EQ(MediaKeyIndexOfUsage(c.usage), c.index) << c.usage;
  EXPECT_EQ(kMediaKeyTable[12], 0x0225);
}

TEST(AssignmentStoreTest, TextsFollowTheirEntries) {
  AssignmentStore store;
  // An 8-character program path on profile 2, slot 0x1E: text slot 1054.
  ASSERT_TRUE(store.SetAssignment(2, 0x1E, AssignmentKind::LaunchProgram, 0, u"/bin/abc"));
  EXPECT_EQ(EntryIndex(2, 0x1E), 1054);
  EXPECT_EQ(store.TextSizeAt(2, 0x1E), 18u);
  EXPECT_EQ(store.TextAt(2, 0x1E), u"/bin/abc");
  EXPECT_EQ(store.TextBytesTotal(), 18u);

  // Replacing the text counts only the new one; a text ends at its first zero.
  std::u16string withZero = u"ab";
  withZero.push_back(u'\0');
  withZero += u"cd";
  store.SetAssignment(2, 0x1E, AssignmentKind::TextBlock, 0, withZero);
  EXPECT_EQ(store.TextAt(2, 0x1E), u"ab");
  EXPECT_EQ(store.TextBytesTotal(), 6u);

  // Releasing the key frees the text.
  store.SetAssignment(2, 0x1E, AssignmentKind::SingleKey, 0x01E);
  EXPECT_EQ(store.TextSizeAt(2, 0x1E), 0u);
  EXPECT_EQ(store.TextBytesTotal(), 0u);
  EXPECT_EQ(store.GetAssignment(2, 0x1E), Entry(AssignmentKind::SingleKey, 0, 0x01E));

  // An empty text is still a text of one terminator.
  store.SetAssignment(0, 5, AssignmentKind::LaunchProgram, 0, u"");
  EXPECT_EQ(store.TextSizeAt(0, 5), 2u);
  store.ReleaseAllTexts();
  EXPECT_EQ(store.TextSizeAt(0, 5), 0u);
  EXPECT_EQ(store.TextBytesTotal(), 0u);
}

TEST(AssignmentStoreTest, SetAssignmentWritesGKeyCodesAndClearsReservedWords) {
  AssignmentStore store;
  KeyAssignment dirty = Entry(AssignmentKind::PlayMacro, 7, 3);
  dirty.reserved1 = 0xFFFFFFFF;
  dirty.reserved2 = 0x12345678;
  ASSERT_TRUE(store.PutAssignment(0, 256, dirty));
  EXPECT_EQ(store.GetAssignment(0, 256), dirty);
  store.SetAssignment(0, 256, AssignmentKind::MediaKey, 4);
  EXPECT_EQ(store.GetAssignment(0, 256), Entry(AssignmentKind::MediaKey, 0x0301, 4));
}

TEST(AssignmentStoreTest, OutOfRangeProfileOrSlotChangesNothing) {
  AssignmentStore store;
  const std::pair<int, int> bad[] = {{-1, 0}, {4, 0}, {0, -1}, {0, 512}};
  for (const auto& [profile, slot] : bad) {
    EXPECT_FALSE(store.SetAssignment(profile, slot, AssignmentKind::TextBlock, 0, u"x"));
    EXPECT_FALSE(store.PutAssignment(profile, slot, Entry(AssignmentKind::Disabled, 0, 0)));
    EXPECT_EQ(store.GetAssignment(profile, slot), KeyAssignment{});
    EXPECT_EQ(store.TextAt(profile, slot), u"");
  }
  EXPECT_EQ(store.TextBytesTotal(), 0u);
  std::lock_guard guard(store.Lock());
  const auto fresh = MakeDefaultProfileBlock(0);
  EXPECT_TRUE(std::equal(store.Block().begin(), store.Block().end(), fresh->begin()));
}

TEST(AssignmentStoreTest, FlatteningPacksTextsInEntryOrder) {
  AssignmentStore store;
  store.SetAssignment(0, 40, AssignmentKind::TextBlock, 0, u"abcdefghijklmnopqrst");  // 42 bytes
  store.SetAssignment(0, 30, AssignmentKind::TextBlock, 0, u"0123456789");            // 22 bytes
  std::lock_guard guard(store.Lock());
  const std::vector<std::uint8_t> area = store.PrepareForWrite();
  ASSERT_EQ(area.size(), 64u);
  EXPECT_EQ(store.GetAssignment(0, 30).param, 0u);
  EXPECT_EQ(store.GetAssignment(0, 40).param, 22u);
  EXPECT_EQ(U16At(area, 0), u'0');
  EXPECT_EQ(U16At(area, 20), 0);
  EXPECT_EQ(U16At(area, 22), u'a');
  EXPECT_EQ(U16At(area, 62), 0);
  // The header now describes the file to be written.
  const ProfileFileHeader h = DecodeFileHeader(store.Block().first<kFileHeaderSize>());
  EXPECT_EQ(h.textBytes, 64u);
  EXPECT_EQ(h.fileSize, 32832u + 64u);
  EXPECT_EQ(h.checksum, HeaderChecksum(store.Block().first<kFileHeaderSize>()));
}

TEST(AssignmentStoreTest, ClearedKeysKeepTheirTextsButTheAreaEndsInZeros) {
  AssignmentStore store;
  const KeyIndex boardKey = BoardKeyList()[0].key;
  const int boardSlot = SlotFromKeyIndex(boardKey);
  store.SetAssignment(1, boardSlot, AssignmentKind::LaunchProgram, 0, u"gone");  // 10 bytes
  store.SetAssignment(1, 300, AssignmentKind::TextBlock, 0, u"kept");            // not a board key
  store.SetAssignment(1, GKeySlot(GKeyBank::B, 4), AssignmentKind::Disabled, 0);
  store.SetAssignment(1, GKeySlot(GKeyBank::A, 4), AssignmentKind::Disabled, 0);
  store.SetAssignment(2, boardSlot, AssignmentKind::Disabled, 0);

  store.ClearProfileAssignments(1, GKeyBank::B);
  EXPECT_EQ(store.GetAssignment(1, boardSlot), KeyAssignment{});
  EXPECT_EQ(store.GetAssignment(1, GKeySlot(GKeyBank::B, 4)), KeyAssignment{});
  EXPECT_TRUE(store.GetAssignment(1, GKeySlot(GKeyBank::A, 4)).Is(AssignmentKind::Disabled));
  EXPECT_TRUE(store.GetAssignment(2, boardSlot).Is(AssignmentKind::Disabled));
  EXPECT_EQ(store.TextAt(1, boardSlot), u"gone");
  EXPECT_EQ(store.TextBytesTotal(), 20u);

  std::lock_guard guard(store.Lock());
  const std::vector<std::uint8_t> area = store.PrepareForWrite();
  ASSERT_EQ(area.size(), 20u);
  EXPECT_EQ(store.GetAssignment(1, 300).param, 0u);
  EXPECT_EQ(U16At(area, 0), u'k');
  EXPECT_TRUE(std::all_of(area.begin() + 10, area.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(AssignmentStoreTest, MacroLookups) {
  AssignmentStore store;
  std::vector<MacroRecord> list = {Macro(5), Macro(2), Macro(9)};
  ASSERT_TRUE(store.ReplaceMacroList(list));
  EXPECT_EQ(store.MacroCount(), 3);
  const struct {
    int index;
    std::uint16_t number;
  } at[] = {{-1, 0}, {0, 5}, {2, 9}, {3, 0}};
  for (const auto& c : at) EXPECT_EQ(store.MacroNumberAt(c.index), c.number) << c.index;
  EXPECT_EQ(store.FindMacroIndex(9), 2);
  EXPECT_EQ(store.FindMacroIndex(5), 0);
  EXPECT_EQ(store.FindMacroIndex(7), 0);
  EXPECT_EQ(store.MacroAt(1)->number, 2);
  EXPECT_FALSE(store.MacroAt(3).has_value());

  // Macros are shared, so a use in any profile counts.
  EXPECT_FALSE(store.IsMacroInUse(9));
  store.SetAssignment(3, 511, AssignmentKind::PlayMacro, 9);
  EXPECT_TRUE(store.IsMacroInUse(9));
  store.SetAssignment(0, 10, AssignmentKind::MediaKey, 2);
  EXPECT_FALSE(store.IsMacroInUse(2));
}

TEST(AssignmentStoreTest, ReplaceMacroListRewritesPlayMacroEntries) {
  struct Case {
    const char* name;
    std::vector<MacroRecord> list;
    // Entries before: profile 0 slot 30 -> macro 2, profile 3 slot 256 -> macro 2,
    // profile 1 slot 40 -> macro 1, profile 2 slot 50 -> number 0.
    std::vector<KeyAssignment> after;  // same order
    std::vector<std::pair<int, int>> refreshed;
  };
  const Case cases[] = {
      {"kept numbers stay",
       {Macro(1), Macro(2)},
       {Entry(AssignmentKind::PlayMacro, 3, 2), Entry(AssignmentKind::PlayMacro, 4, 2),
        Entry(AssignmentKind::PlayMacro, 5, 1), Entry(AssignmentKind::PlayMacro, 6, 1)},
       {}},
      {"macro 2 deleted and its number reused by a new one",
       {Macro(1), Macro(2, 1)},
       {Entry(AssignmentKind::Default, 3, 2), Entry(AssignmentKind::Default, 4, 2),
        Entry(AssignmentKind::PlayMacro, 5, 1), Entry(AssignmentKind::PlayMacro, 6, 1)},
       {{0, 30}, {3, 256}}},
      {"empty list",
       {},
       {Entry(AssignmentKind::Default, 3, 2), Entry(AssignmentKind::Default, 4, 2),
        Entry(AssignmentKind::Default, 5, 1), Entry(AssignmentKind::PlayMacro, 6, 0)},
       {{0, 30}, {1, 40}, {3, 256}}},
      {"number 0 takes the first macro",
       {Macro(7), Macro(1), Macro(2)},
       {Entry(AssignmentKind::PlayMacro, 3, 2), Entry(AssignmentKind::PlayMacro, 4, 2),
        Entry(AssignmentKind::PlayMacro, 5, 1), Entry(AssignmentKind::PlayMacro, 6, 7)},
       {}},
  };
  const std::pair<int, int> keys[] = {{0, 30}, {3, 256}, {1, 40}, {2, 50}};
  const std::uint32_t numbers[] = {2, 2, 1, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AssignmentStore store;
    RecordingRefresher refresher;
    store.SetKeyButtonRefresher(&refresher);
    for (int i = 0; i < 4; ++i) {
      store.PutAssignment(
          keys[i].first, keys[i].second,
          Entry(AssignmentKind::PlayMacro, static_cast<std::uint16_t>(3 + i), numbers[i]));
    }
    std::vector<MacroRecord> list = c.list;
    ASSERT_TRUE(store.ReplaceMacroList(list));
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(store.GetAssignment(keys[i].first, keys[i].second), c.after[i]) << i;
    }
    EXPECT_EQ(refresher.refreshed, c.refreshed);
    EXPECT_EQ(store.MacroCount(), list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(list[i].fresh, 0) << "the editor's copy keeps no fresh flag";
      EXPECT_EQ(store.MacroAt(static_cast<int>(i)), list[i]);
    }
  }
}

TEST(AssignmentStoreTest, ReplaceMacroListRefusesMoreThanOneHundred) {
  AssignmentStore store;
  std::vector<MacroRecord> one = {Macro(1)};
  store.ReplaceMacroList(one);
  store.SetAssignment(0, 30, AssignmentKind::PlayMacro, 1);
  std::vector<MacroRecord> tooMany(101, Macro(1));
  EXPECT_FALSE(store.ReplaceMacroList(tooMany));
  EXPECT_EQ(store.MacroCount(), 1);
  EXPECT_TRUE(store.GetAssignment(0, 30).Is(AssignmentKind::PlayMacro));
}

TEST(AssignmentStoreTest, InstallRefusesIncompleteContent) {
  const auto make = [] {
    StoreContent c;
    c.block = MakeDefaultProfileBlock(0);
    c.texts.resize(kEntryCount);
    return c;
  };
  struct Case {
    const char* name;
    void (*spoil)(StoreContent&);
  };
  const Case cases[] = {
      {"no block", [](StoreContent& c) { c.block.reset(); }},
      {"count without records", [](StoreContent& c) { c.macroCount = 1; }},
      {"records without count", [](StoreContent& c) { c.macros.resize(kMacroRecordSize); }},
      {"short text table", [](StoreContent& c) { c.texts.resize(5); }},
      {"size not matching text",
       [](StoreContent& c) {
         c.texts[3] = {u"abc", 6};
       }},
      {"text without size",
       [](StoreContent& c) {
         c.texts[3] = {u"abc", 0};
       }},
  };
  for (const Case& c : cases) {
    AssignmentStore store;
    store.SetAssignment(0, 1, AssignmentKind::TextBlock, 0, u"keep");
    StoreContent content = make();
    c.spoil(content);
    EXPECT_FALSE(store.Install(std::move(content))) << c.name;
    EXPECT_EQ(store.TextAt(0, 1), u"keep") << c.name;
  }
  AssignmentStore store;
  StoreContent good = make();
  good.texts[7] = {u"abc", 8};
  ASSERT_TRUE(store.Install(std::move(good)));
  EXPECT_EQ(store.TextBytesTotal(), 8u);
}

TEST(AssignmentStoreTest, LockIsReentrantAndGuardsEveryOperation) {
  AssignmentStore store;
  std::unique_lock outer(store.Lock());
  // The owning thread may call any operation while holding the lock...
  store.SetAssignment(0, 2, AssignmentKind::Disabled, 0);
  EXPECT_TRUE(store.GetAssignment(0, 2).Is(AssignmentKind::Disabled));
  // ...while another thread waits for it.
  auto other = std::async(std::launch::async,
                          [&store] { store.SetAssignment(0, 2, AssignmentKind::StopMacro, 0); });
  EXPECT_EQ(other.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  EXPECT_TRUE(store.GetAssignment(0, 2).Is(AssignmentKind::Disabled));
  outer.unlock();
  other.get();
  EXPECT_TRUE(store.GetAssignment(0, 2).Is(AssignmentKind::StopMacro));
}

}  // namespace
}  // namespace kst
