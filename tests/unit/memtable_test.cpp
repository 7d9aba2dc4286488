#include <gtest/gtest.h>

#include "platform/memtable/mem_table.h"

using platform::memtable::MemTable;
using platform::memtable::truncateUtf8;

TEST(MemTable, AppendedRowsArePostedInOrderAndCloseDropsThem) {
    MemTable t({{"id", 10}, {"tip", 50}});
    EXPECT_THROW(t.append(), std::logic_error);  // closed
    t.open();
    t.append();
    t.setField("id", "1");
    t.setField("tip", "FACTURA PRIMITA");
    t.post();
    t.append();
    t.setField("id", "2");  // a field never set stays empty
    t.post();
    t.append();
    t.setField("id", "cancelled");
    t.cancel();

    ASSERT_EQ(t.rowCount(), 2);
    EXPECT_EQ(t.value(0, "id"), "1");
    EXPECT_EQ(t.value(0, "tip"), "FACTURA PRIMITA");
    EXPECT_EQ(t.value(1, "id"), "2");
    EXPECT_EQ(t.value(1, "tip"), "");
    EXPECT_THROW(t.value(0, "nope"), std::invalid_argument);
    EXPECT_THROW(t.setField("id", "x"), std::logic_error);  // no row being appended

    t.open();  // already open: rows stay
    EXPECT_EQ(t.rowCount(), 2);
    EXPECT_THROW(t.addField("late", 5), std::logic_error);
    t.close();
    EXPECT_EQ(t.rowCount(), 0);
    EXPECT_FALSE(t.isOpen());
}

TEST(MemTable, ValuesAreCutToTheFieldWidthInCharactersNotBytes) {
    MemTable t({{"short", 3}, {"free", 0}});
    t.open();
    t.append();
    t.setField("short", "ăîșțâ");  // two bytes per character
    t.setField("free", std::string(5000, 'x'));
    t.post();
    EXPECT_EQ(t.value(0, "short"), "ăîș");
    EXPECT_EQ(t.value(0, "free").size(), 5000u);

    EXPECT_EQ(truncateUtf8("abc", 3), "abc");
    EXPECT_EQ(truncateUtf8("abcd", 0), "");
    EXPECT_EQ(truncateUtf8("a€b", 2), "a€");  // three-byte character kept whole
}
