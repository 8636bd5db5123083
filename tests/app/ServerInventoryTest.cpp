#include "app/ServerInventory.h"

#include <gtest/gtest.h>

#include "base/Exception.h"

namespace tallyhawk {
namespace {

CInventoryItem Item(const std::string& name, double latest, double freeFrom,
                    const std::string& setup = "https://h/s.deb") {
    CInventoryItem item;
    item.name = name;
    item.setupUrl = setup;
    item.description = "d";
    item.latestVersion = latest;
    item.freeUpgradeVersion = freeFrom;
    return item;
}

std::string Message(std::string_view bytes) {
    try {
        CServerInventory::FromBytes(bytes);
    } catch (const CGenericException& error) {
        return error.Message();
    }
    return "(read)";
}

TEST(ServerInventoryTest, BytesFollowTheListLayoutAndReadBackInOrder) {
    CServerInventory list;
    list.Add(Item("Tallyhawk", 1.2, 1.0, "https://h/t"));
    list.Add(Item("Other", 3.0, 0.0, ""));
    const std::string bytes = list.ToBytes();
    const std::string first = std::string("\x01\x00", 2) + "\x09Tallyhawk" + "\x0Bhttps://h/t" +
                              "\x01" "d" + std::string("\x33\x33\x33\x33\x33\x33\xF3\x3F", 8) +
                              std::string("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8);
    EXPECT_EQ(bytes.substr(0, 6), std::string("\x01\x00\x02\x00\x00\x00", 6));
    EXPECT_EQ(bytes.substr(6, first.size()), first);

    const CServerInventory read = CServerInventory::FromBytes(bytes);
    ASSERT_EQ(read.Items().size(), 2u);
    EXPECT_EQ(read.Items()[0].name, "Tallyhawk");
    EXPECT_EQ(read.Items()[0].setupUrl, "https://h/t");
    EXPECT_EQ(read.Items()[0].latestVersion, 1.2);
    EXPECT_EQ(read.Items()[0].freeUpgradeVersion, 1.0);
    EXPECT_EQ(read.Items()[1].name, "Other");
    EXPECT_EQ(read.ToBytes(), bytes);
}

TEST(ServerInventoryTest, NamesDifferingInCaseAndBlanksAreOneProductAndTheLaterWins) {
    CServerInventory list;
    list.Add(Item(" Tallyhawk\t", 1.1, 1.0));
    CInventoryItem found;
    ASSERT_TRUE(list.Find("TALLYHAWK", found));
    EXPECT_EQ(found.name, " Tallyhawk\t");
    EXPECT_TRUE(list.Find("\n tallyhawk ", found));
    EXPECT_FALSE(list.Find("Tally hawk", found));
    EXPECT_EQ(CServerInventory::Key("  MiXeD Case \r\n"), "mixed case");

    // Two entries of one name in a stored list: the later one is kept.
    CServerInventory first, second;
    first.Add(Item("Tallyhawk", 1.1, 1.0));
    second.Add(Item("tallyhawk ", 1.5, 0.5));
    std::string bytes = first.ToBytes() + second.ToBytes().substr(6);
    bytes[2] = 2;  // two products
    const CServerInventory read = CServerInventory::FromBytes(bytes);
    ASSERT_EQ(read.Items().size(), 1u);
    ASSERT_TRUE(read.Find("Tallyhawk", found));
    EXPECT_EQ(found.latestVersion, 1.5);
    EXPECT_EQ(found.name, "tallyhawk ");
}

TEST(ServerInventoryTest, IsNewerComparesTheLatestAndTheFreeUpgradeVersions) {
    CServerInventory list;
    list.Add(Item("Tallyhawk", 1.2, 1.0));
    bool isFree = true;
    EXPECT_TRUE(list.IsNewer("tallyhawk", 1.0, isFree));
    EXPECT_TRUE(isFree);
    EXPECT_TRUE(list.IsNewer("tallyhawk", 0.9, isFree));
    EXPECT_FALSE(isFree);
    for (double current : {1.2, 1.3}) {
        isFree = true;
        EXPECT_FALSE(list.IsNewer("Tallyhawk", current, isFree)) << current;
        EXPECT_FALSE(isFree) << current;
    }
    isFree = true;
    EXPECT_FALSE(list.IsNewer("Other", 0.1, isFree));
    EXPECT_FALSE(isFree);
}

TEST(ServerInventoryTest, DamagedListsAreReportedWithoutAllocatingForTheirCounts) {
    CServerInventory list;
    list.Add(Item("Tallyhawk", 1.2, 1.0));
    const std::string good = list.ToBytes();
    const std::string prefix = "The product list could not be read. ";

    // Cut inside the last double, inside the setup URL, inside the count.
    for (std::size_t length : {good.size() - 1, std::size_t{28}, std::size_t{3}, std::size_t{0}}) {
        const std::string message = Message(std::string_view(good).substr(0, length));
        EXPECT_EQ(message.rfind(prefix, 0), 0u) << length << ": " << message;
        EXPECT_NE(message.find("truncated or damaged"), std::string::npos) << message;
    }
    // A count no stream of this size can hold is refused before anything is read.
    std::string huge = good;
    huge.replace(2, 4, "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(Message(huge), prefix + "It names 4294967295 products, more than the " +
                                 std::to_string(good.size() - 6) + " bytes that follow can hold.");
    // A string that claims more bytes than follow.
    std::string longName = good;
    longName[8] = '\xFE';
    EXPECT_EQ(Message(longName).rfind(prefix, 0), 0u);

    CServerInventory empty = CServerInventory::FromBytes(std::string("\x01\x00\x00\x00\x00\x00", 6));
    EXPECT_TRUE(empty.Items().empty());
}

}  // namespace
}  // namespace tallyhawk
