// What the library says of itself (version, statuses, instruments) and the
// notes it hands back, checked against the header and against the bytes.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "midi_checker.h"
#include "midicompose.h"
#include "test_support.h"

using namespace testing_support;

namespace {

TEST(MIDIComposeVersion, IsTheVersionTheHeaderDescribes) {
    const std::string expected = std::to_string(MIDICOMPOSE_VERSION_MAJOR) + "." +
                                 std::to_string(MIDICOMPOSE_VERSION_MINOR) + "." +
                                 std::to_string(MIDICOMPOSE_VERSION_PATCH);
    EXPECT_EQ(MIDIComposeVersion(), expected);
}

TEST(MIDIComposeStatusName, NamesEachStatusOfTheHeaderAndNothingElse) {
    const std::pair<int, const char*> statuses[] = {
        {COMPOSE_OK, "COMPOSE_OK"}, {COMPOSE_BAD_BEATS, "COMPOSE_BAD_BEATS"},
        {COMPOSE_BAD_INSTRUMENT, "COMPOSE_BAD_INSTRUMENT"}, {COMPOSE_NO_MEMORY, "COMPOSE_NO_MEMORY"},
        {COMPOSE_NO_NOTES, "COMPOSE_NO_NOTES"}, {COMPOSE_NO_WRITER, "COMPOSE_NO_WRITER"},
        {COMPOSE_ADD_NOTE_FAILED, "COMPOSE_ADD_NOTE_FAILED"}, {COMPOSE_SAVE_FAILED, "COMPOSE_SAVE_FAILED"},
        {COMPOSE_TOO_LONG, "COMPOSE_TOO_LONG"}, {COMPOSE_SCORE_TOO_LONG, "COMPOSE_SCORE_TOO_LONG"}};
    int named = 0;
    for (int value = -1000; value <= 2000; ++value) named += MIDIComposeStatusName(value) != nullptr;
    EXPECT_EQ(named, 10);
    for (const auto& status : statuses) EXPECT_STREQ(MIDIComposeStatusName(status.first), status.second);
    EXPECT_EQ(MIDIComposeStatusName(INT32_MIN), nullptr);
    for (int value = -1000; value <= 2000; ++value) {
        EXPECT_EQ(MIDIComposeStatusMessage(value) != nullptr, MIDIComposeStatusName(value) != nullptr) << value;
    }
}

// A failure's message is "Error: " and its status's words.
TEST(MIDIComposeStatusMessage, GivesTheWordsEachFailureSays) {
    const struct {
        const char *notes, *instrument, *beats;
    } failures[] = {{"C", "piano", "0"}, {"C", "kazoo", "1"}, {"123", "piano", "1"}, {"C :2", "piano", "1"},
                    {"C:600000 D", "piano", "1"}};
    for (const auto& f : failures) {
        MIDIComposeResult result{};
        result.size = sizeof result;
        const int status = MIDIComposeUTF8(f.notes, nullptr, f.instrument, f.beats, &result);
        const std::string errors = result.errors, words = std::string("Error: ") + MIDIComposeStatusMessage(status);
        EXPECT_EQ(errors.find(words), errors.find_first_not_of('\n')) << errors;
        MIDIComposeFreeResult(&result);
    }
}

// Every row resolves, as a composition's instrument, to its own program, and
// the result names the program by its first row.
TEST(MIDIComposeInstrument, ListsTheRowsCompositionsResolveInProgramOrder) {
    std::vector<std::pair<std::string, int>> rows;
    int program = -1;
    for (const char* name; (name = MIDIComposeInstrument(rows.size(), &program)) != nullptr;) {
        rows.emplace_back(name, program);
    }
    ASSERT_EQ(rows.size(), 132u);
    EXPECT_EQ(MIDIComposeInstrument(132, nullptr), nullptr);
    EXPECT_STREQ(MIDIComposeInstrument(0, nullptr), "piano");
    EXPECT_EQ(rows.back(), (std::pair<std::string, int>{"drums", 128}));
    std::set<std::string> names;
    std::string firstName[129];
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [name, number] = rows[i];
        EXPECT_TRUE(names.insert(name).second) << name << " twice";
        if (i > 0) {
            EXPECT_GE(number, rows[i - 1].second) << name;
        }
        if (firstName[number].empty()) firstName[number] = name;
        std::string shouting = name;
        for (char& c : shouting) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        MIDIComposeResult result{};
        result.size = sizeof result;
        ASSERT_EQ(MIDIComposeUTF8("C", nullptr, shouting.c_str(), "1", &result), COMPOSE_OK) << name;
        EXPECT_EQ(result.program, number) << name;
        EXPECT_EQ(result.instrument, firstName[number]) << name;
        MIDIComposeFreeResult(&result);
    }
    EXPECT_EQ(firstName[40], "violin");
}

// Random compositions in both notations, with drums, keys past 127, lengths
// that lose a fraction of a tick and rests of length zero: the note list is
// exactly the note-on/note-off pairs an independent reader finds in the bytes.
TEST(MIDIComposeUTF8, HandsBackTheNotesExactlyAsTheFileHoldsThem) {
    std::mt19937 random(20);
    const char* const instruments[] = {"piano", "violin", "drums", "127"};
    const char* const lengths[] = {"", ":2", ":0.5", ":0.333", ":0.001", ":1e-9", ":3"};
    for (int round = 0; round < 300; ++round) {
        std::string notes;
        const int count = 1 + static_cast<int>(random() % 110);
        for (int i = 0; i < count; ++i) {
            if (i > 0) notes += ' ';
            notes += "ABCDEFGaHx"[random() % 10];
            if (random() % 2) notes += static_cast<char>('0' + random() % 10);
            notes += lengths[random() % 7];
        }
        MIDIComposeResult result{};
        result.size = sizeof result;
        const char* instrument = instruments[round % 4];
        ASSERT_EQ(MIDIComposeUTF8(notes.c_str(), nullptr, instrument, "0.75", &result), COMPOSE_OK) << notes;
        const CheckedFile file = CheckMIDIFile(result.data, result.length);
        ASSERT_EQ(file.error, "") << notes;
        std::vector<CheckedNote> listed;
        for (std::size_t i = 0; i < result.noteCount; ++i) {
            const MIDIComposeNote& n = result.noteList[i];
            listed.push_back({n.start, n.length, n.key, n.channel});
        }
        EXPECT_EQ(listed, file.notes) << notes << " on " << instrument;
        EXPECT_EQ(result.noteCount, static_cast<std::size_t>(result.notes)) << notes;
        MIDIComposeFreeResult(&result);
        EXPECT_EQ(result.noteList, nullptr);
        EXPECT_EQ(result.noteCount, 0u);
    }
}

}  // namespace
