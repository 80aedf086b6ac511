#include "tuning/scale_text.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "tuning/scale_table.h"

namespace {

using ScaleTextTest = MicrotuneTest;

const double SENTINEL = -12345.0;
const double E308 = 5.790291477135095e+133;

double Cents(double c) { return std::pow(2.0, c / 1200.0); }

// Equal to within a few units in the last place.
::testing::AssertionResult Close(double actual, double expected) {
    if (actual == expected || std::fabs(actual - expected) <= 1e-15 * std::fabs(expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << actual << ", expected " << expected;
}

struct Parsed {
    std::vector<double> ratios;
    int count;
};

Parsed Parse(const std::string &text, int maxEntries = 1024) {
    Parsed parsed{std::vector<double>(1024, SENTINEL), -99};
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    GetScaleFromText(parsed.ratios.data(), &parsed.count, buffer.data(), maxEntries);
    return parsed;
}

void ExpectEntries(const std::string &text, const Parsed &parsed,
                   const std::vector<double> &expected) {
    ASSERT_EQ(parsed.count, static_cast<int>(expected.size())) << '"' << text << '"';
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(Close(parsed.ratios[i], expected[i])) << '"' << text << "\" entry " << i;
}

struct TextCase {
    std::string text;
    std::vector<double> expected;
};

TEST_F(ScaleTextTest, ParsesTheGrammar) {
    std::vector<double> twelveTet;
    for (int k = 0; k <= 12; ++k) twelveTet.push_back(Cents(100.0 * k));
    const double fifth = Cents(700.0);

    const std::vector<TextCase> cases = {
        {"9/8 5/4 4/3 3/2 5/3 15/8 2/1", {1, 9.0 / 8, 5.0 / 4, 4.0 / 3, 1.5, 5.0 / 3, 15.0 / 8, 2}},
        {"100. 200. 300. 400. 500. 600. 700. 800. 900. 1000. 1100. 1200.", twelveTet},
        {"700 cents 2/1", {1, fifth, 2}},
        {"n(7/12) 2", {1, fifth, 2}},
        {"n(1/3) n(2/3) n(1)", {1, std::cbrt(2.0), std::cbrt(4.0), 2}},
        {"386.3137 3/2 2", {1, Cents(386.3137), 1.5, 2}},
        {"0.0 701.955 1200.0", {1, 1, Cents(701.955), 2}},
        {"1/1 3/2 2/1", {1, 1, 1.5, 2}},
        {"0 abc 3/2 2", {1, 1.5, 2}},
        {"h 2", {2}},
        {"h 1/1 9/8 3/2 2/1", {1, 1.125, 1.5, 2}},
        {"9/8 5/4 h", {}},
        {"7/4 CENTS", {1, Cents(1.75)}},
        {"n( 7/12)", {1, 7.0 / 12}},
        {" \t\n\v\r  ", {1}},
        {"", {1}},
        // The keyword, in any case of ASCII letters.
        {"cents", {1}},
        {"cents 3/2", {1, 1.5}},
        {"700 Cents", {1, fifth}},
        {"700 cEnTs 2", {1, fifth, 2}},
        {"700 cents, 2", {1, 700, 2}},
        {"700 centsx", {1, 700}},
        {"h cents 2", {1, 2}},
        {"3/2 abc cents", {1, 1}},  // the ignored word still set the last value
        {"700 n(cents", {1, fifth}},
        // Resets.
        {"H 2", {1, 2}},
        {"hello 3/2", {1.5}},
        {"3/2 h", {}},
        {"3/2 h 5/4 h 7/4", {1.75}},
        // Numbers as atof reads them.
        {"3/2/5", {1, 1.5}},
        {"7/12)", {1, 7.0 / 12}},
        {"-3/2", {1, -1.5}},
        {"1.5e2. 3e0", {1, Cents(150.0), 3}},
        {"+4 -2 - + .", {1, 4, -2, 1}},
        {"1e-11 1e-10 2", {1, 1e-10, 2}},
        {"0x10 inf nan infinity 2", {1, 2}},
        {"12abc", {1, 12}},
        // Power-of-two mark.
        {"n(0.5)", {1, Cents(0.5)}},
        {"n(0)", {1}},
        {"n(-1) n(x)", {1, 0.5}},
        {"n(12)", {1, 4096}},
        // Values that are not finite are ignored; the last value stays.
        {"3/0 5/4", {1, 1.25}},
        {"0/0 5/4", {1, 1.25}},
        {"3/2 3/0 cents", {1, E308}},
        {"3/2 0/0 cents", {1, 1.5}},
        {"1e999 2", {1, 2}},
        {"n(2000) 3/2", {1, 1.5}},
        {"n(1e999) 3/2", {1, 1.5}},
        {"2000000. 3/2", {1, 1.5}},
        {"1e400. 3/2", {1, 1.5}},
        {"n(-2000) -2000000.", {1, 0, 0}},
        {"1e6 cents", {1, E308}},
        // A form feed ends the part of a token that is read, not the token.
        {"3/2\f5/4 7/4", {1, 1.5, 1.75}},
        {"\f3/2 2", {1, 2}},
        {"3/2 \f 2", {1, 1.5, 2}},
        {"n(\f3) 2", {1, 2}},
        // Bytes from 0x80 up are token characters.
        {"3/2\xa0"
         "5/4 \xff 2",
         {1, 1.5, 2}},
    };
    for (const TextCase &c : cases) ExpectEntries(c.text, Parse(c.text), c.expected);
}

TEST_F(ScaleTextTest, StopsAt1023Entries) {
    std::string text;
    for (int i = 1; i <= 2000; ++i) text += std::to_string(i) + " ";
    const Parsed parsed = Parse(text);
    ASSERT_EQ(parsed.count, 1023);
    EXPECT_EQ(parsed.ratios[0], 1.0);
    for (int i = 1; i <= 1022; ++i) ASSERT_EQ(parsed.ratios[i], i) << "entry " << i;
    EXPECT_EQ(parsed.ratios[1023], SENTINEL);
}

TEST_F(ScaleTextTest, FourthArgumentBoundsTheEntriesWritten) {
    std::string numbers;
    for (int i = 1; i <= 1100; ++i) numbers += std::to_string(i) + " ";
    const struct {
        std::string text;
        int maxEntries;
        std::vector<double> expected;
    } cases[] = {
        {numbers, 1, {1}},           {numbers, 2, {1, 1}},          {numbers, 3, {1, 1, 2}},
        {"h 5/4 3/2", 1, {1.25}},    {"h 5/4 3/2", 2, {1.25, 1.5}}, {"3/2 cents", 1, {1}},
        {"h 700 cents 2", 1, {700}}, {"h cents 2", 1, {1}},         {"h cents 2", 2, {1, 2}},
    };
    for (const auto &c : cases) {
        // Exactly the room the argument allows, so that a sanitizer sees an overrun.
        std::vector<double> ratios(c.maxEntries, SENTINEL);
        std::vector<char> text(c.text.begin(), c.text.end());
        text.push_back('\0');
        int count = -99;
        GetScaleFromText(ratios.data(), &count, text.data(), c.maxEntries);
        ASSERT_EQ(count, static_cast<int>(c.expected.size())) << c.maxEntries;
        for (size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_TRUE(Close(ratios[i], c.expected[i])) << c.maxEntries << " entry " << i;
    }

    const struct {
        int maxEntries;
        int count;
    } counts[] = {{1022, 1022}, {1023, 1023}, {1024, 1023}, {0, 1023}, {-5, 1023}, {100000, 1023}};
    for (const auto &c : counts) {
        const Parsed parsed = Parse(numbers, c.maxEntries);
        EXPECT_EQ(parsed.count, c.count) << c.maxEntries;
        EXPECT_EQ(parsed.ratios[c.count - 1], c.count - 1) << c.maxEntries;
        EXPECT_EQ(parsed.ratios[c.count], SENTINEL) << c.maxEntries;
    }
}

TEST_F(ScaleTextTest, KeepsTheTextOfTheMostRecentParse) {
    EXPECT_STREQ(GetszMostRecentScale(), "");
    EXPECT_EQ(GetszMostRecentScale(), mt::szMostRecentScale);

    // 1500 characters: the copy keeps 1023 of them, the parse reads them all.
    std::string text;
    while (text.size() < 1496) text += "3/2 ";
    text += "5/4 ";
    ASSERT_EQ(text.size(), 1500u);
    const Parsed parsed = Parse(text);
    EXPECT_EQ(parsed.count, 376);
    EXPECT_EQ(parsed.ratios[375], 1.25);
    EXPECT_EQ(std::string(GetszMostRecentScale()), text.substr(0, 1023));

    // A shorter text is followed by NULs to the end.
    Parse("9/8 2");
    EXPECT_STREQ(GetszMostRecentScale(), "9/8 2");
    for (int i = 5; i < mt::MOST_RECENT_SCALE_SIZE; ++i)
        ASSERT_EQ(mt::szMostRecentScale[i], '\0') << i;

    Parse("   ");
    EXPECT_STREQ(GetszMostRecentScale(), "   ");
}

TEST_F(ScaleTextTest, ReadsALongTokenByIts127FirstCharacters) {
    const std::string digits200(200, '7');
    const double first127 = std::strtod(std::string(127, '7').c_str(), nullptr);
    ExpectEntries("200 digits", Parse(digits200 + " 3/2"), {1, first127, 1.5});
    // Behind "n(" the token is read again, 127 characters from its third.
    const double exponent = std::strtod(("0." + std::string(125, '7')).c_str(), nullptr);
    ExpectEntries("n(0.777...", Parse("n(0." + digits200 + " 2"), {1, Cents(exponent), 2});
    const std::string zeros(124, '0');
    ExpectEntries("n(000...5/4", Parse("n(" + zeros + "5/4"), {1, std::pow(2.0, 1.25)});
}

TEST_F(ScaleTextTest, NullPointers) {
    double ratios[4] = {SENTINEL, SENTINEL, SENTINEL, SENTINEL};
    int count = -99;
    char text[] = "3/2 2";
    Parse("9/8");

    GetScaleFromText(nullptr, &count, text, 1024);
    EXPECT_EQ(count, -99);
    GetScaleFromText(ratios, nullptr, text, 1024);
    EXPECT_EQ(ratios[0], SENTINEL);
    EXPECT_STREQ(GetszMostRecentScale(), "9/8");

    GetScaleFromText(ratios, &count, nullptr, 1024);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(ratios[0], 1.0);
    EXPECT_EQ(ratios[1], SENTINEL);
    EXPECT_STREQ(GetszMostRecentScale(), "");
}

TEST_F(ScaleTextTest, FindNextScaleToken) {
    // The finder counts a form feed as a token character.
    const char *text = "  ab\fcd \t ef\r\n";
    const int expected[] = {2, 10, -1};
    int position = -1;
    for (int want : expected) {
        EXPECT_EQ(mt::FindNextScaleToken(text, &position), want >= 0 ? 1 : 0);
        EXPECT_EQ(position, want);
    }
    position = 3;
    EXPECT_EQ(mt::FindNextScaleToken(nullptr, &position), 0);
    EXPECT_EQ(position, -1);
    position = 0;
    EXPECT_EQ(mt::FindNextScaleToken("", &position), 0);
    EXPECT_EQ(position, -1);
}

TEST_F(ScaleTextTest, CopyScaleToken) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(mt::CopyScaleToken(buffer, "ab\fcd", 0, 8), 2);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(mt::CopyScaleToken(buffer, "ab cd", 3, 8), 2);
    EXPECT_STREQ(buffer, "cd");
    // At most size - 1 characters are kept, though size are counted.
    EXPECT_EQ(mt::CopyScaleToken(buffer, "0123456789", 0, 8), 8);
    EXPECT_STREQ(buffer, "0123456");
    EXPECT_EQ(mt::CopyScaleToken(buffer, "\xc3\xa9t\xe9", 0, 8), 4);
    EXPECT_STREQ(buffer, "\xc3\xa9t\xe9");

    std::strcpy(buffer, "keep");
    EXPECT_EQ(mt::CopyScaleToken(nullptr, "ab", 0, 8), 0);
    EXPECT_EQ(mt::CopyScaleToken(buffer, nullptr, 0, 8), 0);
    EXPECT_EQ(mt::CopyScaleToken(buffer, "ab", -1, 8), 0);
    EXPECT_EQ(mt::CopyScaleToken(buffer, "ab", 0, 0), 0);
    EXPECT_STREQ(buffer, "keep");
}

TEST_F(ScaleTextTest, ReadsNumbersTheSameUnderADecimalCommaLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    ASSERT_EQ(std::atof("1,5"), 1.5);  // the locale really reads a comma

    const Parsed parsed = Parse("386.3137 3/2 2");
    const Parsed decimals = Parse("0.5/0.25 2.5e1");
    std::setlocale(LC_ALL, saved.c_str());

    ExpectEntries("386.3137 3/2 2", parsed, {1, Cents(386.3137), 1.5, 2});
    EXPECT_NEAR(parsed.ratios[1], 1.25, 1e-7);
    ExpectEntries("0.5/0.25 2.5e1", decimals, {1, 2, Cents(25.0)});
}

}  // namespace
