#include "Support/JsonText.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

namespace bridge {
namespace {

std::optional<std::string> rewrite(std::string_view json) {
    return sortedCompactJson(boost::json::parse(json));
}

TEST(JsonTextTests, SortsKeysAtEveryLevelAndWritesCompactly) {
    EXPECT_EQ(rewrite(R"( { "b" : [ {"z":1, "a":null} , true ], "a": {} , "B": [] } )"),
              R"({"B":[],"a":{},"b":[{"a":null,"z":1},true]})");
}

TEST(JsonTextTests, EscapesSlashesQuotesAndControls) {
    EXPECT_EQ(sortedCompactJson(boost::json::value("a/b\"c\\d\n\t\x01")),
              R"("a\/b\"c\\d\n\t\u0001")");
    EXPECT_EQ(sortedCompactJson(boost::json::value("Señor – ♯")), "\"Señor – ♯\"");
    // Ill-formed UTF-8 would make the file unreadable: it is written as U+FFFD instead.
    EXPECT_EQ(sortedCompactJson(boost::json::value("a\xff"
                                                   "b\xc3")),
              "\"a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\"");
}

TEST(JsonTextTests, WritesNumbersInTheirShortestExactForm) {
    EXPECT_EQ(sortedCompactJson(786297600.25), "786297600.25");
    EXPECT_EQ(sortedCompactJson(0.1), "0.1");
    EXPECT_EQ(sortedCompactJson(128.0), "128");
    EXPECT_EQ(sortedCompactJson(-3), "-3");
    EXPECT_EQ(sortedCompactJson(std::uint64_t{18446744073709551615u}), "18446744073709551615");
    EXPECT_EQ(sortedCompactJson(-0.0), "-0.0");
    EXPECT_TRUE(std::signbit(exactJson(*sortedCompactJson(-0.0))->to_number<double>()));
    for (double value : {786297600.123456789, 1e-7, 1.0 / 3.0, 1e300}) {
        const auto text = sortedCompactJson(value);
        ASSERT_TRUE(text);
        EXPECT_EQ(boost::json::parse(*text).to_number<double>(), value) << *text;
    }
    EXPECT_EQ(sortedCompactJson(std::nan("")), std::nullopt);
    EXPECT_EQ(sortedCompactJson(boost::json::array{1, INFINITY}), std::nullopt);
}

TEST(JsonTextTests, ExactJsonReadsEveryWrittenNumberBack) {
    std::mt19937_64 bits(15);
    int mismatches = 0;
    for (int i = 0; i < 5000; ++i) {
        // Any finite double, and the double of any finite float.
        double value = std::bit_cast<double>(bits());
        if (i % 2 == 1) {
            value = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits())));
        }
        if (!std::isfinite(value)) {
            continue;
        }
        const auto text = sortedCompactJson(boost::json::array{value, "x", {{"k", value}}});
        const auto read = exactJson(*text);
        ASSERT_TRUE(read) << *text;
        if (read->at(0).to_number<double>() != value ||
            read->at(2).at("k").to_number<double>() != value || sortedCompactJson(*read) != text) {
            ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(JsonTextTests, ExactJsonTakesOnlyOneWholeValue) {
    EXPECT_EQ(exactJson(R"( {"a":[1,-2,18446744073709551615,1.5e3,null,true,"\u00e9"]} )"),
              boost::json::parse(R"({"a":[1,-2,18446744073709551615,1500.0,null,true,"é"]})"));
    EXPECT_EQ(exactJson("[1e-400]"), boost::json::parse("[0.0]"));
    for (const char* bad :
         {"", "[1,]", "[] []", "{\"a\"}", "01", "[1", "\"\xff\"", "1e400", "[-1.5e309]"}) {
        EXPECT_EQ(exactJson(bad), std::nullopt) << bad;
    }
}

} // namespace
} // namespace bridge
