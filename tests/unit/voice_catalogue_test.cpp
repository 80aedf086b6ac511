// Voice names, lookup by number or name, and the printed listing.
#include "voices/voice_catalogue.h"

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "fixture.h"

namespace {

using VoiceCatalogueTest = MicrotuneTest;

std::string Name(int voice) {
    char buf[64];
    return GetMidiVoiceName(voice, buf, sizeof buf);
}

struct Lookup {
    const char *text;
    int voice;
    const char *why;
};

const Lookup kLookups[] = {
    {"12", 12, "number"},
    {"+5", 5, "number with a plus sign"},
    {"  40 ", 40, "number after leading white space, digits end at the space"},
    {"12abc", 12, "text after the digits is ignored"},
    {"+", 0, "a plus sign alone"},
    {"++5", 0, "a second sign ends the number"},
    {"128", 127, "clamped"},
    {"500", 127, "clamped"},
    {"99999999999999999999999", 127, "clamped without overflow"},
    {"-3", 0, "a minus sign does not start a number"},
    {"viola", 41, "exact, although Violin comes first"},
    {"SLAP BASS 2", 37, "exact"},
    {"organ", 16, "whole word"},
    {"bell", 112, "whole word, although Tubular Bells comes first"},
    {"bells", 14, "whole word"},
    {"synth  bass", 38, "whole words after collapsing"},
    {"\tsynth \v\f\r\n bass", 38, "any white space collapses"},
    {"\xA0"
     "viola",
     0, "bytes from 0x80 up are not white space"},
    {"horn", 60, "whole word; a parenthesis does not end a word"},
    {"trump", 56, "start of a word"},
    {"e", 2, "start of a word"},
    {"ens", 48, "start of a word"},
    {"nylon", 24, "anywhere; a parenthesis does not start a word"},
    {"english", 69, "anywhere"},
    {"caliope", 82, "anywhere"},
    {"tar", 24, "anywhere"},
    {"organ ", 0, "the trailing space stays and matches nothing"},
    {"", 0, "empty text matches at the start of voice 0"},
    {"   ", 0, "white space alone collapses to empty"},
    {"xyz", 0, "nothing matches"},
};

TEST_F(VoiceCatalogueTest, FindsVoiceByNumberOrName) {
    for (const Lookup &row : kLookups) {
        char text[128];
        std::strcpy(text, row.text);
        char name[64];
        std::memset(name, 'x', sizeof name);
        EXPECT_EQ(FindMidiVoice(text, name, sizeof name), row.voice)
            << "'" << row.text << "': " << row.why;
        EXPECT_EQ(std::string(name), Name(row.voice)) << "'" << row.text << "'";
        EXPECT_STREQ(text, row.text) << "the caller's text is only read";
    }
}

TEST_F(VoiceCatalogueTest, LooksAtTheFirstHundredCharactersOnly) {
    // The working text is 96 spaces and "viol": voice 40 ("Violin") by the
    // start of a word, where the whole text would find "Viola".
    std::string text = std::string(96, ' ') + "viola";
    char name[32];
    EXPECT_EQ(FindMidiVoice(&text[0], name, sizeof name), 40);
    text = std::string(95, ' ') + "viola";
    EXPECT_EQ(FindMidiVoice(&text[0], name, sizeof name), 41);
}

TEST_F(VoiceCatalogueTest, NameIsCutToTheBufferAndZeroFilled) {
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetMidiVoiceName(4, buf, 7), buf);
    EXPECT_STREQ(buf, "Rhodes");
    EXPECT_EQ(buf[7], 'x') << "nothing written past len";

    std::memset(buf, 'x', sizeof buf);
    GetMidiVoiceName(4, buf, 1);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'x');

    // Every byte past the name is zero, not just the terminator.
    std::memset(buf, 'x', sizeof buf);
    GetMidiVoiceName(58, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string("Tuba") + std::string(12, '\0'));

    char whole[27];
    GetMidiVoiceName(69, whole, sizeof whole);
    EXPECT_STREQ(whole, "Cor Anglais (English Horn)");

    char text[] = "violin";
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(FindMidiVoice(text, buf, 5), 40);
    EXPECT_EQ(std::string(buf, 6), std::string("Viol\0x", 6));
}

TEST_F(VoiceCatalogueTest, BadArgumentsWriteNothingOrAnEmptyName) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    for (int index : {-1, 128, 100000}) {
        GetMidiVoiceName(index, buf, sizeof buf);
        EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, '\0')) << index;
    }

    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetMidiVoiceName(3, buf, 0), buf);
    EXPECT_EQ(GetMidiVoiceName(3, buf, -5), buf);
    EXPECT_EQ(GetMidiVoiceName(3, nullptr, 8), nullptr);
    char text[] = "viola";
    EXPECT_EQ(FindMidiVoice(text, buf, 0), 41);
    EXPECT_EQ(FindMidiVoice(text, nullptr, 8), 41);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, 'x'));

    EXPECT_EQ(FindMidiVoice(nullptr, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "Acousti");
}

// A host's locale must not change which voice a text finds. In the Turkish
// single-byte locale the C library folds 0xDD (dotted capital I) onto 'i'
// and 'I' onto the dotless i.
TEST_F(VoiceCatalogueTest, LookupIgnoresTheHostLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "tr_TR") && !std::setlocale(LC_ALL, "tr_TR.ISO-8859-9"))
        GTEST_SKIP() << "Turkish single-byte locale not installed";
    char name[32];
    char dotted[] = "V\xDDOLA";
    char plain[] = "VIOLA";
    char number[] = " 7";
    const int dottedVoice = FindMidiVoice(dotted, name, sizeof name);
    const int plainVoice = FindMidiVoice(plain, name, sizeof name);
    const int numberVoice = FindMidiVoice(number, name, sizeof name);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(dottedVoice, 0);
    EXPECT_EQ(plainVoice, 41);
    EXPECT_EQ(numberVoice, 7);
}

// Feeds PrintVoices' standard input from a file for the test's lifetime.
class StdinFrom {
public:
    explicit StdinFrom(const std::string &content) {
        std::FILE *file = std::tmpfile();
        std::fwrite(content.data(), 1, content.size(), file);
        std::rewind(file);
        saved_ = dup(0);
        dup2(fileno(file), 0);
        std::fclose(file);
        std::clearerr(stdin);
    }
    ~StdinFrom() {
        dup2(saved_, 0);
        close(saved_);
        std::clearerr(stdin);
    }

private:
    int saved_;
};

std::string PrintVoicesOutput(const std::string &input, int *result) {
    StdinFrom in(input);
    testing::internal::CaptureStdout();
    *result = PrintVoices();
    return testing::internal::GetCapturedStdout();
}

TEST_F(VoiceCatalogueTest, PrintVoicesListing) {
    int result = 0;
    const std::string out = PrintVoicesOutput("ab", &result);
    EXPECT_EQ(result, 'b') << "the final wait's character, after one for the pause";

    EXPECT_EQ(out.rfind("Acoustic Grand Piano (0), Bright Acoustic Piano (1), \n"
                        "Electric Grand Piano (2), Honky-tonk Piano (3), Rhodes Piano (4), \n",
                        0),
              0u);
    EXPECT_NE(out.find("Synth Brass 2 (63), \nSoprano Sax (64), \n(continues...)Alto Sax (65), "
                       "Tenor Sax (66), Baritone Sax (67), \nOboe (68), "),
              std::string::npos);
    const std::string tail = "Applause (126), \nGunshot (127), \n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);

    // Two to three voices a line: 42 breaks, the pause's and the last.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 44);
}

TEST_F(VoiceCatalogueTest, PrintVoicesReturnsEndOfFile) {
    int result = 0;
    PrintVoicesOutput("", &result);
    EXPECT_EQ(result, EOF);
}

}  // namespace
