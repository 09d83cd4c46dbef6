#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/desktop/deskcommon/ScriptedMessages.h"
#include "settingseditor/ItemType.h"

using namespace settingseditor;
using namespace deskcommontest;

namespace {

CItemType Option(int type, int min = 0, int max = 0, std::vector<std::string> list = {}) {
    CItemType o;
    o.section = "S";
    o.key = "K";
    o.type = type;
    o.min = min;
    o.max = max;
    o.valueList = std::move(list);
    return o;
}

std::string Display(const CItemType& o, const std::string& stored) {
    CRawType v{"S", "K", stored};
    return o.GetDisplayValue(v);
}

TEST(ItemTypeTest, DisplayAndStoredFormsByType) {
    struct Case {
        int type;
        std::vector<std::string> list;
        std::string stored, display;
    } cases[] = {
        {kString, {}, "plain", "plain"},
        {kQuotedStr, {}, "\"abc\"", "abc"},
        {kQuotedStr, {}, "x\"abc", "abc"},   // one quote: to the end
        {kQuotedStr, {}, "abc", ""},
        {kNoEdit, {}, "abc", ""},
        {kDword, {"Yes=1", "No=0"}, "1", "Yes"},
        {kDword, {"Yes=1", "No=0"}, "2", "2"},
        {kString, {"=x", "plain", "a=b=c"}, "x", "x"},      // "=" first: neither label nor value
        {kString, {"=x", "plain", "a=b=c"}, "plain", "plain"},
        {kString, {"=x", "plain", "a=b=c"}, "b=c", "a"},    // split at the first "="
        {kString, {"One=1", "Uno=1"}, "1", "One"},          // first in list order
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(Display(Option(c.type, 0, 0, c.list), c.stored), c.display);
    }
    CRawType v;
    Option(kQuotedStr).StoreValue("abc", v);
    EXPECT_EQ(v.value, "\"abc\"");
    Option(kDword, 0, 0, {"Yes=1", "No=0"}).StoreValue("No", v);
    EXPECT_EQ(v.value, "0");
    Option(kNoEdit).StoreValue("ignored", v);
    EXPECT_EQ(v.value, "0");
    EXPECT_EQ(Option(kString, 0, 0, {"Label=v"}).LabelToValue("Other"), "Other");

    CItemType d = Option(kQuotedStr);
    EXPECT_EQ(d.GetDefaultText(), "<Default>");
    d.defaultValue = "\"dflt\"";
    EXPECT_EQ(d.GetDefaultText(), "dflt");
    auto raw = d.MakeRawValue();
    EXPECT_EQ(raw->section + raw->key + raw->value, "SK\"dflt\"");
    EXPECT_TRUE(d.IsDefault(*raw));
    EXPECT_STREQ(Option(kDword).GetAllowedChars(), "0123456789");
    EXPECT_STREQ(Option(kInteger).GetAllowedChars(), "-0123456789");
    EXPECT_STREQ(Option(kString).GetAllowedChars(), "");
}

TEST(ItemTypeTest, ValidationAndItsMessages) {
    ScriptedMessages box;
    const std::string longText(300, 'x');
    struct Case {
        CItemType option;
        std::string text;
        const char* message;   // none: passes
    } cases[] = {
        {Option(kDword), "4294967295", nullptr},
        {Option(kDword), "4294967296", "Number is to large."},
        {Option(kDword), "", nullptr},
        {Option(kDword, 1, 10), "11", "The number must be between 1 and 10."},
        {Option(kDword, 1, 10), "", "The number must be between 1 and 10."},   // empty is 0
        {Option(kDword, 1, -1), "4000000000", nullptr},                        // compared unsigned
        {Option(kInteger), "12a", "The value entered is not correctly formatted."},
        {Option(kInteger, -5, 5), "-5", nullptr},
        {Option(kInteger, -5, 5), "-6", "The number must be between -5 and 5."},
        {Option(kString), longText, nullptr},
        {Option(kString, 2, 4), "abcde", "The length must be between 2 and 4 character(s)."},
        {Option(kQuotedStr, 2, 4), "a", "The length must be between 2 and 4 character(s)."},
        {Option(kString, 2, 4, {"Long=abcd"}), "Long", nullptr},   // the value is checked, not the label
        {Option(kNoEdit, 5, 6), "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.option.Validate(c.text, true), c.message == nullptr);
        EXPECT_EQ(box.Take(), c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(c.option.Validate(c.text, false), c.message == nullptr);
        EXPECT_TRUE(box.Take().empty());
    }
}

TEST(ItemTypeTest, ScopeExpressions) {
    std::vector<std::string> alpha{"ALPHA"}, alphaGamma{"ALPHA", "GAMMA"}, none;
    EXPECT_TRUE(ScopeHolds("ALPHA,BETA&!GAMMA", alpha));
    EXPECT_FALSE(ScopeHolds("ALPHA,BETA&!GAMMA", alphaGamma));
    EXPECT_TRUE(ScopeHolds("BETA|ALPHA;GAMMA", alphaGamma));
    EXPECT_FALSE(ScopeHolds("alpha", alpha));   // case-sensitive
    EXPECT_TRUE(ScopeHolds("", alpha));
    EXPECT_TRUE(ScopeHolds("ANYTHING", none));
    EXPECT_TRUE(ScopeHolds("!BETA", alpha));
    EXPECT_FALSE(ScopeHolds("ALPHA&BETA", alpha));
    // Empty terms are words too: an "S:" list may hold the empty word.
    std::vector<std::string> empty{"ALPHA", ""};
    EXPECT_TRUE(ScopeHolds("ALPHA&", empty));
    EXPECT_FALSE(ScopeHolds("ALPHA&", alpha));
    EXPECT_TRUE(ScopeHolds("BETA,", empty));
    EXPECT_FALSE(ScopeHolds("!", empty));
    EXPECT_TRUE(ScopeHolds(std::string("A\0B|ALPHA", 9), alpha));   // a zero byte is no separator
    EXPECT_FALSE(ScopeHolds(std::string("A\0B", 3), alpha));
    // A long expression costs in proportion to its length.
    std::string hostile;
    for (int i = 0; i < 100000; ++i)
        hostile += "ALPHA&";
    EXPECT_FALSE(ScopeHolds(hostile + "BETA", alpha));
    EXPECT_TRUE(ScopeHolds(hostile + "ALPHA", alpha));
}

}  // namespace
