// simulate-updates: plays blocks of seeded runs of the whole program in
// simulated time on every core and holds each against the oracle.
//
//   simulate-updates run SEEDS [FIRST-SEED] [--jobs N]
//       plays seeds FIRST-SEED .. FIRST-SEED+SEEDS-1 (FIRST-SEED 1 by
//       default) in N processes (the cores by default) and prints the table:
//       runs, successes, each outcome, each violation, simulated and CPU
//       seconds, runs per second; then, for every failing seed, the command
//       that replays it alone. The last line is "N passed, N failed".
//   simulate-updates replay SEED [TRANSCRIPT]
//       plays one seed with a trace of every frame, line and box, then its
//       plan, outcome and violations; with TRANSCRIPT the instrument's own
//       transcript of the run goes to that file.
//   simulate-updates play [--fast] [--adapter-latency MS] SIM-SWITCH...
//       plays the instrument and line that ziron7-sim's switches give, on a
//       clean PC with nobody at the keys, with the trace: the same situation
//       can then be played on a pseudo-terminal against ziron7-sim itself.
//       --adapter-latency: the port is a USB adapter with that latency timer.
//
// Exit status 0 when no run broke a rule.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "RunOracle.h"
#include "SimulatedRun.h"

namespace {

using namespace simulation;

// What a worker reports per run, one line each: seed, outcome, the
// violations as a bit mask, simulated milliseconds.
struct RunLine {
    std::uint64_t seed = 0;
    std::string outcome;
    unsigned violations = 0;
    long long simulatedMs = 0;
    bool logMisreadFirmware = false;
};

RunLine Play(const RunPlan& plan, std::FILE* trace) {
    const std::uint64_t seed = plan.seed;
    const RunRecord record = PlaySeed(plan, trace);
    RunLine line;
    line.seed = seed;
    line.outcome = std::string(OutcomeName(record));
    for (const Violation violation : Check(plan, record, UpdateImage())) {
        line.violations |= 1U << static_cast<unsigned>(violation);
    }
    line.simulatedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(record.ended - record.started).count();
    line.logMisreadFirmware = !LogTellsTheFirmware(record);
    if (trace != nullptr) {
        std::fprintf(trace, "%s\noutcome: %s, %.3f s simulated\n", Describe(plan).c_str(),
                     line.outcome.c_str(), static_cast<double>(line.simulatedMs) / 1000);
        for (const Violation violation : Check(plan, record, UpdateImage())) {
            std::fprintf(trace, "violation: %s\n", std::string(ViolationName(violation)).c_str());
        }
    }
    return line;
}

// A worker: plays every `stride`-th seed from `from` up to `end` and writes a
// line per run.
void Work(std::uint64_t from, std::uint64_t end, std::uint64_t stride, int out) {
    std::FILE* stream = ::fdopen(out, "w");
    for (std::uint64_t seed = from; seed < end; seed += stride) {
        const RunLine line = Play(DrawPlan(seed), nullptr);
        std::fprintf(stream, "%llu %u %lld %d %s\n", static_cast<unsigned long long>(line.seed),
                     line.violations, line.simulatedMs, line.logMisreadFirmware ? 1 : 0,
                     line.outcome.c_str());
    }
    std::fclose(stream);
}

int RunBlock(std::uint64_t count, std::uint64_t first, int jobs) {
    const auto wallStart = std::chrono::steady_clock::now();
    std::vector<std::FILE*> streams;
    std::vector<pid_t> workers;
    for (int job = 0; job < jobs; ++job) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            std::perror("pipe");
            return 2;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipeEnds[0]);
            Work(first + static_cast<std::uint64_t>(job), first + count,
                 static_cast<std::uint64_t>(jobs), pipeEnds[1]);
            std::_Exit(0);
        }
        ::close(pipeEnds[1]);
        workers.push_back(pid);
        streams.push_back(::fdopen(pipeEnds[0], "r"));
    }
    std::map<std::string, long> outcomes;
    std::array<long, kViolationKinds> violations{};
    std::vector<std::uint64_t> failing;
    std::vector<std::uint64_t> misreadFirmware;
    long runs = 0;
    long long simulatedMs = 0;
    for (std::FILE* stream : streams) {
        unsigned long long seed = 0;
        unsigned mask = 0;
        long long ms = 0;
        int misread = 0;
        char outcome[64];
        while (std::fscanf(stream, "%llu %u %lld %d %63[^\n]", &seed, &mask, &ms, &misread,
                           outcome) == 5) {
            ++runs;
            if (misread != 0) {
                misreadFirmware.push_back(seed);
            }
            simulatedMs += ms;
            ++outcomes[outcome];
            for (std::size_t kind = 0; kind < kViolationKinds; ++kind) {
                if ((mask & (1U << kind)) != 0) {
                    ++violations[kind];
                }
            }
            if (mask != 0) {
                failing.push_back(seed);
            }
        }
        std::fclose(stream);
    }
    double cpuSeconds = 0;
    bool workerFailed = false;
    for (const pid_t pid : workers) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        workerFailed |= !WIFEXITED(status) || WEXITSTATUS(status) != 0;
        cpuSeconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    std::printf("seeds %llu to %llu, %d processes\n", static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(first + count - 1), jobs);
    std::printf("%-24s %10ld\n", "runs", runs);
    for (const auto& [outcome, number] : outcomes) {
        std::printf("  %-22s %10ld\n", outcome.c_str(), number);
    }
    for (std::size_t kind = 0; kind < kViolationKinds; ++kind) {
        std::printf("%-24s %10ld\n",
                    ("violation: " + std::string(ViolationName(static_cast<Violation>(kind)))).c_str(),
                    violations[kind]);
    }
    std::printf("%-24s %10zu\n", "log misread firmware", misreadFirmware.size());
    std::printf("%-24s %10.0f\n", "simulated seconds", static_cast<double>(simulatedMs) / 1000);
    std::printf("%-24s %10.1f\n", "CPU seconds", cpuSeconds);
    std::printf("%-24s %10.1f\n", "wall seconds", wall);
    std::printf("%-24s %10.0f\n", "runs per second", wall > 0 ? static_cast<double>(runs) / wall : 0);
    std::printf("%-24s %10.2f\n", "CPU ms per run", runs > 0 ? cpuSeconds * 1000 / static_cast<double>(runs) : 0);
    for (const std::uint64_t seed : failing) {
        std::printf("replay: bash scripts/simulate-updates.sh --replay %llu\n",
                    static_cast<unsigned long long>(seed));
    }
    for (const std::uint64_t seed : misreadFirmware) {
        std::printf("misread firmware: bash scripts/simulate-updates.sh --replay %llu\n",
                    static_cast<unsigned long long>(seed));
    }
    const long failed = static_cast<long>(failing.size()) +
                        (workerFailed || runs != static_cast<long>(count) ? 1 : 0);
    if (workerFailed || runs != static_cast<long>(count)) {
        std::printf("a worker died: %ld of %llu runs reported\n", runs,
                    static_cast<unsigned long long>(count));
    }
    std::printf("%ld passed, %ld failed\n", runs - static_cast<long>(failing.size()), failed);
    return failed == 0 ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: simulate-updates run SEEDS [FIRST-SEED] [--jobs N]\n"
                 "       simulate-updates replay SEED [TRANSCRIPT]\n"
                 "       simulate-updates play [--fast] [--adapter-latency MS] SIM-SWITCH...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if ((args.size() == 2 || args.size() == 3) && args[0] == "replay") {
        RunPlan plan = DrawPlan(std::stoull(args[1]));
        plan.instrument.transcriptPath = args.size() == 3 ? args[2] : "";
        return Play(plan, stdout).violations == 0 ? 0 : 1;
    }
    if (args.size() >= 1 && args[0] == "play") {
        std::size_t next = 1;
        const bool fast = args.size() > next && args[next] == "--fast";
        next += fast ? 1 : 0;
        int latencyMs = 0;
        if (args.size() > next + 1 && args[next] == "--adapter-latency") {
            latencyMs = std::stoi(args[next + 1]);
            next += 2;
        }
        RunPlan plan = PlanWith(1, std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(next), args.end()));
        plan.pacing = fast ? Pacing::Fast : Pacing::Default;
        plan.adapterLatencyMs = latencyMs;
        return Play(plan, stdout).violations == 0 ? 0 : 1;
    }
    if (args.size() < 2 || args[0] != "run") {
        return Usage();
    }
    std::vector<std::string> positional;
    int jobs = static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--jobs" && i + 1 < args.size()) {
            jobs = std::max(1, std::stoi(args[++i]));
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.empty() || positional.size() > 2) {
        return Usage();
    }
    const std::uint64_t count = std::stoull(positional[0]);
    const std::uint64_t first = positional.size() == 2 ? std::stoull(positional[1]) : 1;
    return RunBlock(count, first, jobs);
}
