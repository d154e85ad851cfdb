// The SoundFont 2 layout, written out: RIFF "sfbk" with its INFO, sample
// data (sdta) and the nine tables of presets, instruments and samples (pdta),
// each table ending with its terminal record.
#include "small_sf2.h"

#include <cmath>
#include <cstring>
#include <string>

namespace testing_support {
namespace {

using Bytes = std::vector<std::uint8_t>;

void U16(Bytes& b, unsigned v) { b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void U32(Bytes& b, std::uint32_t v) { U16(b, v & 0xFFFF); U16(b, v >> 16); }
void Name(Bytes& b, const char* name, std::size_t size) {
    const std::size_t n = std::strlen(name);
    for (std::size_t i = 0; i < size; ++i) b.push_back(i < n ? static_cast<std::uint8_t>(name[i]) : 0);
}
Bytes Chunk(const char* id, const Bytes& body) {
    Bytes b(id, id + 4);
    U32(b, static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2) b.push_back(0);
    return b;
}
Bytes List(const char* form, const std::vector<Bytes>& chunks) {
    Bytes body(form, form + 4);
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return Chunk("LIST", body);
}

}  // namespace

Bytes SmallSoundfont(int program, int shape) {
    constexpr unsigned kPeriod = 100, kTail = 46;  // 441 Hz at 44100; the zeros every sample ends with
    Bytes samples;
    for (unsigned i = 0; i < kPeriod + kTail; ++i) {
        const double phase = static_cast<double>(i % kPeriod) / kPeriod;
        const double wave = shape == 0 ? std::sin(2 * M_PI * phase) : 2 * phase - 1;  // a sine, or a saw
        U16(samples, static_cast<std::uint16_t>(static_cast<std::int16_t>(i < kPeriod ? 12000 * wave : 0)));
    }
    Bytes version, phdr, pbag, pmod(10, 0), pgen, inst, ibag, imod(10, 0), igen, shdr;
    U16(version, 2), U16(version, 1);
    const auto preset = [&](const char* name, unsigned number, unsigned bag) {
        Name(phdr, name, 20), U16(phdr, number), U16(phdr, 0), U16(phdr, bag), U32(phdr, 0), U32(phdr, 0), U32(phdr, 0);
    };
    preset("small", static_cast<unsigned>(program), 0), preset("EOP", 0, 1);
    U16(pbag, 0), U16(pbag, 0), U16(pbag, 1), U16(pbag, 0);
    U16(pgen, 41), U16(pgen, 0), U16(pgen, 0), U16(pgen, 0);  // instrument 0; the terminal
    Name(inst, "small", 20), U16(inst, 0), Name(inst, "EOI", 20), U16(inst, 1);
    U16(ibag, 0), U16(ibag, 0), U16(ibag, 2), U16(ibag, 0);
    U16(igen, 54), U16(igen, 1), U16(igen, 53), U16(igen, 0), U16(igen, 0), U16(igen, 0);  // looped; sample 0
    Name(shdr, "wave", 20), U32(shdr, 0), U32(shdr, kPeriod), U32(shdr, 0), U32(shdr, kPeriod), U32(shdr, 44100);
    shdr.push_back(69), shdr.push_back(0), U16(shdr, 0), U16(shdr, 1);  // A4, mono
    Name(shdr, "EOS", 20), shdr.resize(shdr.size() + 26, 0);
    const Bytes body = [&] {
        Bytes b{'s', 'f', 'b', 'k'};
        for (const Bytes& part : {List("INFO", {Chunk("ifil", version), Chunk("isng", Bytes{'E', 'M', 'U', '8', '0', '0', '0', 0}),
                                                Chunk("INAM", Bytes{'s', 'm', 'a', 'l', 'l', 0})}),
                                  List("sdta", {Chunk("smpl", samples)}),
                                  List("pdta", {Chunk("phdr", phdr), Chunk("pbag", pbag), Chunk("pmod", pmod),
                                                Chunk("pgen", pgen), Chunk("inst", inst), Chunk("ibag", ibag),
                                                Chunk("imod", imod), Chunk("igen", igen), Chunk("shdr", shdr)})}) {
            b.insert(b.end(), part.begin(), part.end());
        }
        return b;
    }();
    return Chunk("RIFF", body);
}

}  // namespace testing_support
