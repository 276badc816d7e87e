// The udev rule that opens the ANT sticks to their users: the user at the seat, and the members of
// the plugdev group (a technician on SSH, a service account), for each stick the program tries.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

namespace {

TEST(UdevRuleTest, EachStickIsOpenToTheSeatAndToThePlugdevGroup)
{
    std::ifstream rules(std::string(PELOTUNE_TEST_DATA) + "/../../resources/udev/60-pelotune-ant.rules");
    ASSERT_TRUE(rules.is_open());
    std::set<std::string> products;
    std::string line;
    while (std::getline(rules, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        SCOPED_TRACE(line);
        EXPECT_NE(line.find("ATTRS{idVendor}==\"0fcf\""), std::string::npos);
        EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos);
        EXPECT_NE(line.find("GROUP=\"plugdev\""), std::string::npos);
        EXPECT_NE(line.find("MODE=\"0660\""), std::string::npos);
        const std::string key = "ATTRS{idProduct}==\"";
        const std::size_t at = line.find(key);
        ASSERT_NE(at, std::string::npos);
        products.insert(line.substr(at + key.size(), 4));
    }
    EXPECT_EQ(products, (std::set<std::string>{"1004", "1008", "1009"}));
}

} // namespace
