// MIDICompose through the shared library, as a host calls it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <string>
#include <vector>

#include "midicompose.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct Call {
    int status;
    std::string out, err;
};

// A null pointer for an argument given as nullptr. Every call is made twice,
// through MIDICompose and through MIDIComposeUTF8 with the same texts, and the
// two must agree on the status, both console texts and the file's bytes.
Call Compose(const char* notes, const std::string* path, const char* instrument, const char* beats) {
    const std::u16string n = notes ? Utf16(notes) : u"", p = path ? Utf16(*path) : u"",
                         i = instrument ? Utf16(instrument) : u"", b = beats ? Utf16(beats) : u"";
    CapturedOutput output;
    const int status = MIDICompose(notes ? n.c_str() : nullptr, path ? p.c_str() : nullptr,
                                   instrument ? i.c_str() : nullptr, beats ? b.c_str() : nullptr);
    output.Stop();
    const Bytes file = path != nullptr && status == COMPOSE_OK ? ReadBytes(*path) : Bytes();

    MIDIComposeResult result{};
    result.size = sizeof result;
    const std::string samePath = path != nullptr ? *path : "";  // a null path is the empty one to MIDICompose
    CapturedOutput quiet;
    const int utf8Status = MIDIComposeUTF8(notes, samePath.c_str(), instrument, beats, &result);
    quiet.Stop();
    EXPECT_EQ(quiet.out() + quiet.err(), "") << "MIDIComposeUTF8 printed";
    EXPECT_EQ(utf8Status, status);
    EXPECT_EQ(result.output, output.out());
    EXPECT_EQ(result.errors, output.err());
    if (path != nullptr) {
        EXPECT_EQ(Bytes(result.data, result.data + result.length), file);
    }
    EXPECT_EQ(result.data == nullptr, status != COMPOSE_OK);
    MIDIComposeFreeResult(&result);
    return {status, output.out(), output.err()};
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

std::string Golden(const std::string& name) {
    const Bytes bytes = ReadBytes(std::string(MIDICOMPOSE_TEST_DATA) + "/golden/" + name);
    return std::string(bytes.begin(), bytes.end());
}

struct ComposeCase {
    std::string what, notes, instrument, beats;
    int status;
    std::string out, err;  // "{path}" stands for the output path
    std::string golden = "";  // the expected file, when the call writes one
};

std::string Describe(const ComposeCase& c) { return c.what; }

class ComposeTest : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(ComposeTest, PrintsReportsAndWritesExactlyAsExpected) {
    const ComposeCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("out.mid");
    const Call call = Compose(c.notes.c_str(), &path, c.instrument.c_str(), c.beats.c_str());
    EXPECT_EQ(call.status, c.status) << c.what;
    EXPECT_EQ(call.out, Replace(c.out, "{path}", path)) << c.what;
    EXPECT_EQ(call.err, Replace(c.err, "{path}", path)) << c.what;
    EXPECT_EQ(FileExists(path), c.status == COMPOSE_OK) << c.what;
    if (!c.golden.empty()) {
        const Bytes bytes = ReadBytes(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Golden(c.golden)) << c.what;
    }
    EXPECT_EQ(dir.Entries().size(), c.status == COMPOSE_OK ? 1u : 0u) << c.what;
}

const std::string kProgress = "Generating MIDI file with notes: ";
std::string Report(const std::string& instrument, const std::string& beats, int notes) {
    return "MIDI file created successfully: {path}\nInstrument: " + instrument + "\nDuration: " + beats + " beats (" +
           beats + " quarter notes)\nNotes: " + std::to_string(notes) + "\n";
}
const std::string kBadInstrumentHint = "Use --list-instruments to see available instruments\n";

INSTANTIATE_TEST_SUITE_P(
    Successes, ComposeTest,
    ::testing::Values(
        ComposeCase{"the chord", "C:2 E:1 G:1 C5:2", "violin", "1.0", 999,
                    kProgress + "C:2 E G C5:2\n" + Report("violin (program 40)", "6", 4), "", "chord.mid"},
        ComposeCase{"compact notation", "FACE", "piano", "1.0", 999,
                    kProgress + "F A C E\n" + Report("piano (program 0)", "4", 4), "", "face.mid"},
        ComposeCase{"drums", "C2 D2", "drums", "1", 999, kProgress + "C2 D2\n" + Report("drums (program 128)", "2", 2),
                    "", "drums.mid"},
        ComposeCase{"no space: ':2' is ignored", "C:2", "0", "1", 999,
                    kProgress + "C\n" + Report("piano (program 0)", "1", 1), ""},
        ComposeCase{"invalid note lengths fall back silently", "C D:-1 E:0 F:abc", "Violin", "2", 999,
                    kProgress + "C D E F\n" + Report("violin (program 40)", "8", 4), ""},
        ComposeCase{"a zero-tick note still counts", "C:0.001 D", "organ", "1", 999,
                    kProgress + "C:0.001 D\n" + Report("organ (program 16)", "1", 2), ""},
        ComposeCase{"digit names are key 60", "1 2", "4", "0.5", 999,
                    kProgress + "1 2\n" + Report("unknown (program 4)", "1", 2), ""},
        ComposeCase{"only the first hundred notes", Repeat("CDEFG", 30), "guitar", "1", 999,
                    kProgress + Repeat("C D E F G ", 19) + "C D E F G\n" + Report("guitar (program 24)", "1e+02", 100),
                    ""},
        ComposeCase{"ninety-three long notes", Repeat("C:5000 ", 93), "acoustic_bass", "1", 999,
                    kProgress + Repeat("C:5e+03 ", 92) + "C:5e+03\n" + Report("bass (program 32)", "4.6e+05", 93),
                    ""},
        ComposeCase{"beats with exponent and sign", "C:2.5e-1 D", "127", "+.5", 999,
                    kProgress + "C:0.25 D\n" + Report("gunshot (program 127)", "0.75", 2), ""}),
    NamedAfterDescription());

INSTANTIATE_TEST_SUITE_P(
    Failures, ComposeTest,
    ::testing::Values(
        ComposeCase{"negative beats", "C", "piano", "-1", 12, "", "Error: Invalid beats value '-1'\n"},
        ComposeCase{"zero beats", "C", "piano", "0", 12, "", "Error: Invalid beats value '0'\n"},
        ComposeCase{"beats not a number", "C", "piano", "abc", 12, "", "Error: Invalid beats value 'abc'\n"},
        ComposeCase{"beats that narrow to zero", "C", "piano", "1e-50", 12, "", "Error: Invalid beats value '1e-50'\n"},
        ComposeCase{"beats spelled as infinity", "C", "piano", "inf", 12, "", "Error: Invalid beats value 'inf'\n"},
        ComposeCase{"hexadecimal beats", "C", "piano", "0x1p3", 12, "", "Error: Invalid beats value '0x1p3'\n"},
        ComposeCase{"program above 127", "C", "200", "1", 13, "", "Error: Invalid instrument '200'\n" + kBadInstrumentHint},
        ComposeCase{"signed program", "C", "-5", "1", 13, "", "Error: Invalid instrument '-5'\n" + kBadInstrumentHint},
        ComposeCase{"empty instrument", "C", "", "1", 13, "", "Error: Invalid instrument ''\n" + kBadInstrumentHint},
        ComposeCase{"no letters", "123", "piano", "1", 15, "", "Error: No valid notes found in input\n"},
        ComposeCase{"only separators", " \t ", "piano", "1", 15, "", "Error: No valid notes found in input\n"},
        ComposeCase{"an empty note name", "C :2", "piano", "1", 17, kProgress + "C :2",
                    "\nError: Failed to add note \n"},
        ComposeCase{"one note too long", "C:600000 D", "piano", "1", 19, kProgress + "C:6e+05 ",
                    "\nError: Composition too long at note C\n"},
        ComposeCase{"the sum too long", "C:559240 D E", "piano", "1", 19, kProgress + "C:5.6e+05 D ",
                    "\nError: Composition too long at note D\n"},
        ComposeCase{"infinite default beats", "C D", "piano", "1e39", 19, kProgress + "C ",
                    "\nError: Composition too long at note C\n"}),
    NamedAfterDescription());

TEST(MIDICompose, ReachesTheLastTickAMIDIFileCanHold) {
    // 559240 beats are 268435200 ticks; 255 ticks more is 0x0FFFFFFF exactly.
    TempDir dir;
    const std::string path = dir.File("long.mid");
    Call call = Compose("C:559240 D:0.53125", &path, "piano", "1");
    EXPECT_EQ(call.status, COMPOSE_OK) << call.err;
    call = Compose("C:559240 D:0.534", &path, "piano", "1");  // 256 ticks: one too many
    EXPECT_EQ(call.status, COMPOSE_TOO_LONG);
}

TEST(MIDICompose, ReadsNullArgumentsAsEmptyTexts) {
    TempDir dir;
    const std::string path = dir.File("x.mid");
    EXPECT_EQ(Compose(nullptr, &path, "piano", "1").status, COMPOSE_NO_NOTES);
    const Call noPath = Compose("C", nullptr, "piano", "1");
    EXPECT_EQ(noPath.status, COMPOSE_SAVE_FAILED);
    EXPECT_EQ(noPath.err, "Error: Could not create file \nError: Failed to create MIDI file\n");
    EXPECT_EQ(Compose("C", &path, nullptr, "1").err, "Error: Invalid instrument ''\n" + kBadInstrumentHint);
    EXPECT_EQ(Compose("C", &path, "piano", nullptr).err, "Error: Invalid beats value ''\n");
    EXPECT_TRUE(dir.Entries().empty());
}

// An unpaired surrogate anywhere makes the text no text at all; a pair, and
// the characters just beyond the surrogates' range, are read as they are.
TEST(MIDICompose, TreatsAnUnpairedSurrogateAsAnEmptyArgument) {
    TempDir dir;
    const std::u16string path = Utf16(dir.File("x.mid")), notes = u"C", beats = u"1";
    const struct {
        std::u16string instrument;
        std::string shown;  // in the message
    } cases[] = {
        {{u'a', 0xD800, u'b'}, ""},
        {{u'a', 0xDC00}, ""},
        {{u'a', 0xDBFF}, ""},
        {{u'a', 0xD83C, 0xDFB5}, "a\xF0\x9F\x8E\xB5"},
        {{u'a', 0xD7FF}, "a\xED\x9F\xBF"},
        {{u'a', 0xE000}, "a\xEE\x80\x80"},
    };
    for (const auto& c : cases) {
        CapturedOutput output;
        const int status = MIDICompose(notes.c_str(), path.c_str(), c.instrument.c_str(), beats.c_str());
        output.Stop();
        EXPECT_EQ(status, COMPOSE_BAD_INSTRUMENT);
        EXPECT_EQ(output.err(), "Error: Invalid instrument '" + c.shown + "'\n" + kBadInstrumentHint);
    }
}

TEST(MIDICompose, WritesToLongAndNonAsciiPaths) {
    TempDir dir;
    for (const std::string& name : {std::string(240, 'x') + "/" + std::string(240, 'y') + ".mid",
                                    std::string("d\xC3\xBCr \xE2\x82\xAC \xF0\x9F\x8E\xB5.mid")}) {  // \u00FC, \u20AC, U+1F3B5
        const std::size_t slash = name.find('/');
        if (slash != std::string::npos) {
            ASSERT_EQ(mkdir(dir.File(name.substr(0, slash)).c_str(), 0755), 0);
        }
        const std::string path = dir.File(name);
        const Call call = Compose("C:2 E:1 G:1 C5:2", &path, "violin", "1.0");
        EXPECT_EQ(call.status, COMPOSE_OK) << call.err;
        EXPECT_NE(call.out.find("MIDI file created successfully: " + path + "\n"), std::string::npos);
        const Bytes bytes = ReadBytes(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Golden("chord.mid"));
    }
}

TEST(MIDICompose, FailsToSaveIntoAMissingDirectoryLeavingNothing) {
    TempDir dir;
    const std::string path = dir.File("missing/out.mid");
    const Call call = Compose("C D E", &path, "piano", "1");
    EXPECT_EQ(call.status, COMPOSE_SAVE_FAILED);
    EXPECT_EQ(call.out, kProgress + "C D E\n");
    EXPECT_EQ(call.err, "Error: Could not create file " + path + "\nError: Failed to create MIDI file\n");
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(MIDICompose, KeepsTheExistingFileWhenACallFails) {
    TempDir dir;
    const std::string path = dir.File("song.mid");
    const Bytes old = {'k', 'e', 'e', 'p'};
    WriteBytes(path, old);
    for (const char* beats : {"0", "1e39"}) {
        EXPECT_NE(Compose("C D", &path, "piano", beats).status, COMPOSE_OK);
        EXPECT_EQ(ReadBytes(path), old);
    }
    EXPECT_EQ(Compose("C :1", &path, "piano", "1").status, COMPOSE_ADD_NOTE_FAILED);
    EXPECT_EQ(ReadBytes(path), old);
}

TEST(MIDICompose, ReadsAndPrintsNumbersTheSameInACommaLocale) {
    TempDir dir;
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!UseCommaLocale(dir)) GTEST_SKIP() << "no locale with a decimal comma can be made here";
    const std::string path = dir.File("x.mid");
    const Call call = Compose("C:0.25 D", &path, "piano", "1.5");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(call.status, COMPOSE_OK) << call.err;
    EXPECT_EQ(call.out, kProgress + "C:0.25 D\n" + Replace(Report("piano (program 0)", "1.8", 2), "{path}", path));
}

}  // namespace
