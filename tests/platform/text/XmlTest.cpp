// The XML reader: start elements in document order with their attributes,
// what a document that is not well-formed gives, and entity expansion kept
// within bounds (device files may be written by anyone with the device).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Xml.h"

namespace {

struct Seen {
    std::u16string name;
    std::vector<std::pair<std::u16string, std::u16string>> attributes;
};

bool Read(std::string_view document, std::vector<Seen>* seen, std::string* error = nullptr) {
    return plat::xml::ForEachElement(
        document,
        [&](const plat::xml::Element& e) {
            Seen s{std::u16string(e.name), {}};
            for (const plat::xml::Attribute& a : e.attributes) s.attributes.emplace_back(a.name, a.value);
            seen->push_back(std::move(s));
        },
        error);
}

}  // namespace

TEST(Xml, StartElementsComeInDocumentOrderWithTheirAttributesDecoded) {
    std::vector<Seen> seen;
    ASSERT_TRUE(Read("<?xml version=\"1.0\"?><!-- a skin --><skin xmlns:k=\"urn:k\"><k:view a=\"1 &amp; 2\" "
                     "k:b='caf\xC3\xA9 &#x263A;'/>text<button/><view a=\"x\"></view></skin>",
                     &seen));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].name, u"skin");
    EXPECT_EQ(seen[1].name, u"view");  // the local name
    EXPECT_EQ(seen[1].attributes,
              (std::vector<std::pair<std::u16string, std::u16string>>{{u"a", u"1 & 2"}, {u"k:b", u"caf\u00E9 \u263A"}}));
    EXPECT_EQ(seen[2].name, u"button");
    EXPECT_TRUE(seen[2].attributes.empty());
    EXPECT_EQ(seen[3].name, u"view");

    plat::xml::Attribute attributes[] = {{u"x", u"1"}, {u"y", u"2"}, {u"x", u"3"}};
    const plat::xml::Element element{u"e", attributes};
    ASSERT_NE(element.Find(u"x"), nullptr);
    EXPECT_EQ(element.Find(u"x")->value, u"1");
    EXPECT_EQ(element.Find(u"X"), nullptr);
}

TEST(Xml, ADocumentThatIsNotWellFormedFailsAfterTheElementsBeforeTheFault) {
    const struct {
        const char* document;
        size_t before;
    } cases[] = {
        {"", 0},
        {"not xml", 0},
        {"<skin><view/><button>", 3},
        {"<skin><view a=\"1\" a=\"2\"/></skin>", 1},
        {"<skin><p:view/></skin>", 1},  // an undeclared prefix
        {"<skin/><second/>", 1},
        {"<skin>&undefined;</skin>", 1},
    };
    for (const auto& c : cases) {
        std::vector<Seen> seen;
        std::string error;
        EXPECT_FALSE(Read(c.document, &seen, &error)) << c.document;
        EXPECT_FALSE(error.empty()) << c.document;
        EXPECT_EQ(seen.size(), c.before) << c.document;
    }
}

TEST(Xml, NestedEntitiesAreNotExpandedWithoutBound) {
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE s [<!ENTITY a0 \"aaaaaaaaaa\">";
    for (int i = 1; i < 10; ++i) {
        bomb += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) bomb += "&a" + std::to_string(i - 1) + ";";
        bomb += "\">";
    }
    bomb += "]><s v=\"&a9;\"/>";
    std::vector<Seen> seen;
    EXPECT_FALSE(Read(bomb, &seen));
}
