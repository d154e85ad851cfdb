// Fails the n-th allocation of a MIDICompose call, for every n, and checks
// that the call still ends cleanly: a status from the table, nothing leaked,
// no file left behind unless it succeeded, an existing file untouched. The
// same for a render, failing the allocations midicompose-audio makes itself.
// The shim replaces malloc and operator new for the whole process, so this
// test runs in its own executable and never under a sanitizer.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "midicompose.h"
#ifdef MIDICOMPOSE_TEST_AUDIO
#include "midicompose_audio.h"
#include "small_sf2.h"
#endif
#include "test_support.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {

// The shim's state. Touched only by the test's one thread while armed.
struct Shim {
    bool armed = false;
    bool failEveryAfter = false;  // fail n and every allocation after it, or n alone
    bool ownCallersOnly = false;  // count only this project's own allocations
    long failAt = 0;
    long count = 0;
    long failures = 0;
    // Blocks allocated while armed and not yet freed (open addressing).
    static constexpr std::size_t kSlots = 1 << 14;
    void* live[kSlots] = {};
    long liveCount = 0;
};
Shim shim;

std::size_t Slot(void* p) { return (reinterpret_cast<std::uintptr_t>(p) >> 4) & (Shim::kSlots - 1); }

void Remember(void* p) {
    for (std::size_t i = Slot(p);; i = (i + 1) & (Shim::kSlots - 1)) {
        if (shim.live[i] == nullptr) {
            shim.live[i] = p;
            ++shim.liveCount;
            return;
        }
    }
}

void Forget(void* p) {
    for (std::size_t i = Slot(p), n = 0; n < Shim::kSlots; i = (i + 1) & (Shim::kSlots - 1), ++n) {
        if (shim.live[i] == p) {
            shim.live[i] = nullptr;
            --shim.liveCount;
            // Re-seat the entries after this one so lookups keep working.
            for (std::size_t j = (i + 1) & (Shim::kSlots - 1); shim.live[j] != nullptr; j = (j + 1) & (Shim::kSlots - 1)) {
                void* moved = shim.live[j];
                shim.live[j] = nullptr;
                --shim.liveCount;
                Remember(moved);
            }
            return;
        }
        if (shim.live[i] == nullptr) return;
    }
}

// Whether code of this project (this program, or a library named after it)
// made the allocation. FluidSynth and glib abort on a failed allocation by
// design, so a render fails only its own.
bool OwnCaller(const void* caller) {
    Dl_info info;
    if (dladdr(caller, &info) == 0 || info.dli_fname == nullptr) return false;
    const char* slash = std::strrchr(info.dli_fname, '/');
    return std::strstr(slash != nullptr ? slash + 1 : info.dli_fname, "midicompose") != nullptr;
}

bool Counted(const void* caller) { return shim.armed && (!shim.ownCallersOnly || OwnCaller(caller)); }

// True when this allocation is to fail.
bool Fails() {
    ++shim.count;
    const bool fail = shim.failEveryAfter ? shim.count >= shim.failAt : shim.count == shim.failAt;
    if (fail) ++shim.failures;
    return fail;
}

void* Track(void* p) {
    if (p != nullptr) Remember(p);
    return p;
}

void* NewOrThrow(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
    if (!Counted(__builtin_return_address(0))) return __libc_malloc(size);
    return Fails() ? nullptr : Track(__libc_malloc(size));
}
void* calloc(std::size_t n, std::size_t size) {
    if (!Counted(__builtin_return_address(0))) return __libc_calloc(n, size);
    return Fails() ? nullptr : Track(__libc_calloc(n, size));
}
void* realloc(void* p, std::size_t size) {
    if (!Counted(__builtin_return_address(0))) return __libc_realloc(p, size);
    if (Fails()) return nullptr;
    void* moved = __libc_realloc(p, size);
    if (moved != nullptr) {
        if (p != nullptr) Forget(p);
        Remember(moved);
    }
    return moved;
}
void free(void* p) {
    if (shim.armed && p != nullptr) Forget(p);
    __libc_free(p);
}
}

void* operator new(std::size_t size) { return NewOrThrow(size); }
void* operator new[](std::size_t size) { return NewOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using testing_support::Bytes;
using testing_support::TempDir;
using testing_support::Utf16;

struct SweepInput {
    const char* what;
    std::string notes;
    bool longPath;
    bool existingTarget;
};

std::string Describe(const SweepInput& s) { return s.what; }

std::string Notes(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += i % 2 == 0 ? "C:2 " : "G5 ";
    return text;
}

class AllocationFailureTest : public ::testing::TestWithParam<SweepInput> {};

// Runs the call once for each allocation it makes, failing that one (and,
// in the second mode, every later one), until a call sees no failure.
TEST_P(AllocationFailureTest, EndsEveryCallCleanly) {
    const SweepInput& input = GetParam();
    TempDir dir;
    std::string folder = dir.path();
    if (input.longPath) {
        folder += "/" + std::string(150, 'd');
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        folder += "/" + std::string(120, 'e');
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    }
    const std::string path = folder + "/song.mid";
    const Bytes old = {'o', 'l', 'd'};
    const std::u16string notes = Utf16(input.notes), widePath = Utf16(path), instrument = u"violin", beats = u"1";

    // The reference run also fills stdio's buffers, which live on after a call.
    testing_support::WriteBytes(path, old);
    int status;
    {
        testing_support::CapturedOutput quiet;
        status = MIDICompose(notes.c_str(), widePath.c_str(), instrument.c_str(), beats.c_str());
    }
    ASSERT_EQ(status, COMPOSE_OK);
    const Bytes expected = testing_support::ReadBytes(path);

    for (const bool every : {false, true}) {
        for (long n = 1;; ++n) {
            if (input.existingTarget) {
                testing_support::WriteBytes(path, old);
            } else {
                std::remove(path.c_str());
            }
            {
                testing_support::CapturedOutput quiet;
                shim = Shim();
                shim.failEveryAfter = every;
                shim.failAt = n;
                shim.armed = true;
                status = MIDICompose(notes.c_str(), widePath.c_str(), instrument.c_str(), beats.c_str());
                shim.armed = false;
            }
            const std::string where = std::string(every ? "from" : "at") + " allocation " + std::to_string(n);
            EXPECT_TRUE(status == COMPOSE_OK || (status >= COMPOSE_BAD_BEATS && status <= COMPOSE_TOO_LONG))
                << status << ' ' << where;
            EXPECT_EQ(shim.liveCount, 0) << "leak " << where;
            if (status == COMPOSE_OK) {
                EXPECT_EQ(testing_support::ReadBytes(path), expected) << where;
            } else if (input.existingTarget) {
                EXPECT_EQ(testing_support::ReadBytes(path), old) << where;
            } else {
                EXPECT_FALSE(testing_support::FileExists(path)) << where;
            }
            EXPECT_EQ(testing_support::DirectoryEntries(folder).size(), status == COMPOSE_OK || input.existingTarget ? 1u : 0u)
                << "a temporary file is left " << where;
            if (shim.failures == 0) {
                // Every call allocates at least its arguments, list, names, writer and file image.
                EXPECT_GE(n, 8) << "the shim saw too few allocations to be in the way";
                std::printf("%s, failing %s: %ld allocation points\n", input.what, every ? "from n on" : "the n-th", n - 1);
                EXPECT_EQ(status, COMPOSE_OK);
                EXPECT_EQ(testing_support::ReadBytes(path), expected);
                break;
            }
        }
    }
}

// The same sweep through MIDIComposeUTF8 in memory: every allocation of the
// result's own buffers included. On COMPOSE_NO_MEMORY nothing is handed over.
TEST_P(AllocationFailureTest, EndsEveryInMemoryCallCleanly) {
    const SweepInput& input = GetParam();
    MIDIComposeResult reference{};
    reference.size = sizeof reference;
    ASSERT_EQ(MIDIComposeUTF8(input.notes.c_str(), nullptr, "violin", "1", &reference), COMPOSE_OK);
    const Bytes expected(reference.data, reference.data + reference.length);
    const std::size_t expectedNotes = reference.noteCount, expectedWarnings = reference.warningCount;
    MIDIComposeFreeResult(&reference);

    for (const bool every : {false, true}) {
        for (long n = 1;; ++n) {
            MIDIComposeResult result{};
            result.size = sizeof result;
            shim = Shim();
            shim.failEveryAfter = every;
            shim.failAt = n;
            shim.armed = true;
            const int status = MIDIComposeUTF8(input.notes.c_str(), nullptr, "violin", "1", &result);
            shim.armed = false;
            const long failures = shim.failures;
            const Bytes got = result.data != nullptr ? Bytes(result.data, result.data + result.length) : Bytes();
            const bool nothingHandedOver = result.data == nullptr && result.output == nullptr &&
                                           result.errors == nullptr && result.noteList == nullptr &&
                                           result.warnings == nullptr && result.places == nullptr;
            const std::size_t notes = result.noteList != nullptr && result.places != nullptr ? result.noteCount : 0;
            const std::size_t warnings = result.warnings != nullptr ? result.warningCount : 0;
            const bool saysNoMemory = result.errors != nullptr && std::string(result.errors) == "Error: Memory allocation failed\n";
            // The result's buffers were counted as live; release them while counting.
            shim.failAt = -1;
            shim.armed = true;
            MIDIComposeFreeResult(&result);
            shim.armed = false;

            const std::string where = std::string(every ? "from" : "at") + " allocation " + std::to_string(n);
            EXPECT_TRUE(status == COMPOSE_OK || (status >= COMPOSE_BAD_BEATS && status <= COMPOSE_TOO_LONG))
                << status << ' ' << where;
            if (status == COMPOSE_OK) {
                EXPECT_EQ(got, expected) << where;
                EXPECT_EQ(notes, expectedNotes) << where;
                EXPECT_EQ(warnings, expectedWarnings) << where;
            }
            // Out of memory inside the composition reports it; out of memory
            // for the result's own buffers hands nothing over.
            if (status == COMPOSE_NO_MEMORY) {
                EXPECT_TRUE(nothingHandedOver || saysNoMemory) << where;
            }
            EXPECT_EQ(shim.liveCount, 0) << "leak " << where;
            if (failures == 0) {
                EXPECT_GE(n, 6) << "the shim saw too few allocations to be in the way";
                EXPECT_EQ(status, COMPOSE_OK);
                break;
            }
        }
    }
}

// The score of a composition, failing each of its allocations in turn: the
// same MusicXML, or COMPOSE_NO_MEMORY with nothing handed over; no leak.
TEST(ScoreAllocationFailure, EndsEveryScoreCleanly) {
    MIDIComposeResult composed{};
    composed.size = sizeof composed;
    ASSERT_EQ(MIDIComposeUTF8("C:0.333 D:0.333 E:0.001 F:3 G2", nullptr, "drums", "1", &composed), COMPOSE_OK);
    std::string expected;
    for (long n = 0, failures = 1; failures > 0; ++n) {  // n = 0: nothing fails, for the reference
        MIDIComposeScore score{};
        score.size = sizeof score;
        shim = Shim();
        shim.failAt = n;
        shim.armed = true;
        const int status = MIDIComposeMusicXML(&composed, nullptr, &score);
        shim.armed = false;
        failures = n == 0 ? 1 : shim.failures;
        if (n == 0) expected = score.musicxml;
        shim.failAt = -1;  // the score's buffers were counted as live: released while counting
        shim.armed = true;
        EXPECT_TRUE(status == COMPOSE_OK ? score.musicxml == expected
                                         : status == COMPOSE_NO_MEMORY && score.musicxml == nullptr && score.message == nullptr)
            << status << " at allocation " << n;
        MIDIComposeFreeScore(&score);
        shim.armed = false;
        EXPECT_EQ(shim.liveCount, 0) << "leak at allocation " << n;
        EXPECT_TRUE(failures > 0 || n >= 8) << "the shim saw too few allocations to be in the way";
    }
    MIDIComposeFreeResult(&composed);
}

#ifdef MIDICOMPOSE_TEST_AUDIO
// A render to memory with a pooled font, failing each allocation of
// midicompose-audio's own in turn: the same sound, or RENDER_NO_MEMORY with
// nothing handed over, and nothing leaked either way.
TEST(RenderAllocationFailure, EndsEveryRenderCleanly) {
    TempDir dir;
    const std::string font = dir.File("small.sf2");
    testing_support::WriteBytes(font, testing_support::SmallSoundfont());
    MIDIComposeResult composed{};
    composed.size = sizeof composed;
    ASSERT_EQ(MIDIComposeUTF8("C:1 E G", nullptr, "violin", "4", &composed), COMPOSE_OK);
    const Bytes midi(composed.data, composed.data + composed.length);
    MIDIComposeFreeResult(&composed);
    auto render = [&](MIDIComposeAudio& audio) {
        audio = MIDIComposeAudio{};
        audio.size = sizeof audio;
        return MIDIComposeRender(midi.data(), midi.size(), font.c_str(), 8000, nullptr, &audio);
    };
    MIDIComposeAudio reference;
    ASSERT_EQ(render(reference), RENDER_OK);  // and the font is pooled
    const Bytes expected(reference.wav, reference.wav + reference.length);
    MIDIComposeFreeAudio(&reference);

    for (const bool every : {false, true}) {
        for (long n = 1;; ++n) {
            MIDIComposeAudio audio;
            shim = Shim();
            shim.ownCallersOnly = true;
            shim.failEveryAfter = every;
            shim.failAt = n;
            shim.armed = true;
            const int status = render(audio);
            shim.armed = false;
            const long failures = shim.failures;
            const Bytes got = audio.wav != nullptr ? Bytes(audio.wav, audio.wav + audio.length) : Bytes();
            const bool nothingHandedOver = audio.wav == nullptr && audio.message == nullptr && audio.soundfont == nullptr;
            shim.failAt = -1;
            shim.armed = true;
            MIDIComposeFreeAudio(&audio);
            shim.armed = false;

            const std::string where = std::string(every ? "from" : "at") + " allocation " + std::to_string(n);
            if (status == RENDER_OK) {
                EXPECT_EQ(got, expected) << where;
            } else {
                EXPECT_EQ(status, RENDER_NO_MEMORY) << where;
                EXPECT_TRUE(nothingHandedOver) << where;
            }
            EXPECT_EQ(shim.liveCount, 0) << "leak " << where;
            // A render that ran out of memory while playing unloaded its
            // font; one with memory loads it into the pool again.
            if (status != RENDER_OK) {
                MIDIComposeAudio again;
                EXPECT_EQ(render(again), RENDER_OK) << where;
                MIDIComposeFreeAudio(&again);
            }
            if (failures == 0) {
                EXPECT_GE(n, 6) << "the shim saw too few allocations to be in the way";
                EXPECT_EQ(status, RENDER_OK);
                std::printf("render, failing %s: %ld allocation points\n", every ? "from n on" : "the n-th", n - 1);
                break;
            }
        }
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(
    Inputs, AllocationFailureTest,
    ::testing::Values(SweepInput{"one note", "C", false, false}, SweepInput{"the chord", "C:2 E:1 G:1 C5:2", false, true},
                      SweepInput{"a hundred notes", Notes(100), false, true},
                      SweepInput{"a hundred and one notes", Notes(101), false, false},
                      SweepInput{"a path of three hundred characters", "C D E", true, true},
                      SweepInput{"notes with warnings", "C#5:0.333x H A9 C:0 E:1/3", false, true}),
    testing_support::NamedAfterDescription());

}  // namespace
