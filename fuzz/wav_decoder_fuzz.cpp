// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for our WAV reader: the input's RIFF chunks are read as a WAV file's, and one that
// we take is decoded from its start to its end (which must come at its length exactly), then
// sought into and decoded on. Seeds: fuzz/seeds/decoder_seeds.sh.
#include "decoder_fuzz.h"
#include "playback/file_bytes.h"
#include "playback/wav_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = decoder_fuzz::inputFile("wav_input", data, size);
    const playback::FileBytes file(path);
    const playback::WavProbe probe = playback::probeWav(file, 0);
    if (probe.kind != playback::WavProbe::Kind::Pcm) return 0;
    const playback::WavLayout& layout = probe.layout;
    fuzz_support::check(layout.dataStart + layout.frames * layout.blockBytes <= file.size(),
                        "the data lies within the file");
    playback::WavDecoder decoder(path, layout, decoder_fuzz::kOutput);
    const std::int64_t whole = decoder_fuzz::exercise(decoder);
    fuzz_support::check(whole < 0 || whole == decoder.length().frames,
                        "a WAV decodes to its length exactly");
    return 0;
}
