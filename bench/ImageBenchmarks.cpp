// What the link and image layers cost the user-interface thread: CRC-16
// throughput, and the CPU time to produce and judge a whole write pass plus
// verify pass of the embedded image (421 + 281 = 702 frames) against an
// in-memory flash. The line gives each frame a 50 ms tick.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "AccessCode.h"
#include "Crc16.h"
#include "FirmwareImage.h"
#include "InMemoryBootloader.h"

namespace {

void Crc16Throughput(benchmark::State& state) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeCrc16(data.data(), data.size()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(Crc16Throughput)->Arg(142)->Arg(4096)->Arg(35839);

// Runs passes until the image stops preparing frames; returns the frames sent.
int RunPass(CFirmwareImage& image, InMemoryBootloader& bootloader, std::uint8_t first) {
    int frames = 0;
    for (std::uint8_t result = first; result == IMAGE_FRAME_READY;
         result = image.OnReply(bootloader.Answer(image.GetFrame()))) {
        ++frames;
    }
    return frames;
}

void WriteAndVerifyEmbeddedImage(benchmark::State& state) {
    CFirmwareImage image(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!image.LoadFromResource()) {
        state.SkipWithError("the embedded image did not load");
        return;
    }
    InMemoryBootloader bootloader(kAccessCode);
    int frames = 0;
    for (auto _ : state) {
        bootloader.requests.clear();
        frames = RunPass(image, bootloader, image.BeginWrite());
        frames += RunPass(image, bootloader, image.BeginVerify());
    }
    if (frames != 702) {
        state.SkipWithError("a pass did not have the expected 702 frames");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * frames);
    state.counters["frames"] = frames;
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * frames,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
                           benchmark::Counter::OneK::kIs1000);
}
BENCHMARK(WriteAndVerifyEmbeddedImage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
