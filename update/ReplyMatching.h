// Which reply answers the outstanding request. A request that was repeated
// may draw a reply per copy, and a line may deliver a reply twice; such a
// late copy arrives while the next request of the same command is already
// outstanding and must not be taken for its answer.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// True when the CMD_LOADER reply `reply` (a whole checked frame) answers the
// CMD_LOADER request `request` (unsealed). The switch into the bootloader is
// answered by its one-byte acknowledgement; every other operation by a reply
// that echoes its operation code and 16-bit address in payload bytes 0-2.
// Requests go out one at a time and the instrument answers in order, so the
// echo tells a late reply to the previous operation from the answer to this
// one even where two operations share a code (the halves of every page).
bool AnswersLoaderRequest(std::span<const std::uint8_t> request,
                          std::span<const std::uint8_t> reply);

// The three information replies do not name their step. Each step's answer
// differs from the others' (a date text, a time text, a binary identity), so
// a reply whose payload equals one already taken for an earlier step is a
// late copy of that step's answer and is passed over. Only as many copies
// are passed over as the earlier requests could have drawn (two per send:
// one answer, doubled by the line), so an instrument that really answers two
// steps alike still gets its reply taken and never stalls the procedure.
class InfoReplyFilter {
public:
    // True when `payload` is a late copy to pass over; counts it.
    bool IsLateCopy(std::span<const std::uint8_t> payload);
    // The reply `payload` was taken for a step whose request went out `sends` times.
    void Taken(std::span<const std::uint8_t> payload, std::uint32_t sends);

private:
    std::vector<std::vector<std::uint8_t>> m_taken;  // payloads of the steps taken
    std::uint32_t m_copiesLeft = 0;                  // late copies still possible
};
