// Which reply answers the outstanding request. A request that was repeated
// may draw a reply per copy, and a line may deliver a reply twice; such a
// late copy arrives while the next request of the same command is already
// outstanding and must not be taken for its answer.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

// Matches CMD_LOADER replies to the outstanding CMD_LOADER request. The
// switch into the bootloader is answered by its one-byte acknowledgement;
// every other operation by a reply whose payload byte 0 is its operation
// code. What a bootloader holds in payload bytes 1-2 is its own affair:
//
//  - one that echoes the request's address there lets a late copy of the
//    previous reply be told from the answer even where two operations share
//    a code (the halves of every page). The matcher assumes this at first.
//  - one that holds zeros or anything else there is recognised by a reply
//    with the right operation code and another address that cannot be a
//    late copy: the time in which a copy of the previous reply could follow
//    is over, and as many such replies have been passed over as all earlier
//    sends of that operation could have drawn beyond the replies taken
//    (each send one answer, doubled by the line at most). (An address equal
//    to an earlier request's proves nothing: a bootloader that always holds
//    0 answers the first frames at address 0 by coincidence.) From then on replies match
//    by operation code and order; only a reply identical to the one taken
//    last that arrives while a copy of that one may still come is passed
//    over. The repeat timing keeps late copies rare, the pump holds a request
//    whose reply would look the same until it cannot come before such a
//    copy could, and verification reads every byte back.
class LoaderReplyMatcher {
public:
    // A new request is outstanding; the one before it went out
    // `previousSends` times, and was a bootloader request of the operation
    // `previousOperation`, or no bootloader request (empty).
    void NextRequest(std::optional<std::uint8_t> previousOperation, std::uint32_t previousSends);
    // True when `reply` (a whole checked frame) answers `request`
    // (unsealed). `copyMayArrive`: a copy of the previous request's reply
    // may still be on the way. May learn that the bootloader does not echo
    // the address.
    bool Answers(std::span<const std::uint8_t> request, std::span<const std::uint8_t> reply,
                 bool copyMayArrive);
    // `reply` was taken for the outstanding request.
    void Taken(std::span<const std::uint8_t> reply);
    // True when the reply to `request` (unsealed) cannot be told from a late
    // copy of the one taken last: a bootloader that does not echo the
    // address answers the same operation at every address alike (the halves
    // of a page), or with data that names no address (the blocks read back).
    bool MayAnswerAlike(std::span<const std::uint8_t> request) const;
    // False once a reply has shown that bytes 1-2 do not echo the address.
    bool AssumesEcho() const { return m_assumesEcho; }

private:
    bool m_assumesEcho = true;
    // Late bootloader replies earlier sends may still draw, per operation
    // code: a reply names its operation, so only the copies of one are owed
    // by a request of the same (a switch whose acknowledgement was lost owes
    // nothing to the image's frames).
    std::map<std::uint8_t, std::uint32_t> m_copiesOwed;
    std::vector<std::uint8_t> m_lastTaken;  // payload of the reply taken last
};

// The three information replies do not name their step. Each step's answer
// differs from the others' (a date text, a time text, a binary identity), so
// a reply whose payload equals one already taken for an earlier step is a
// late copy of that step's answer and is passed over. Only as many copies
// are passed over as the earlier requests could have drawn (two per send:
// one answer, doubled by the line), so an instrument that really answers two
// steps alike still gets its reply taken and never stalls the procedure.
// Sends are counted per step over the whole run: a step asked again after
// the status was asked in between still owes every copy its sends drew.
class InfoReplyFilter {
public:
    // The request for the step now asked went out once more.
    void Sent() { ++m_sendsOfStep; }
    // True when `payload` is a late copy to pass over; counts it.
    bool IsLateCopy(std::span<const std::uint8_t> payload);
    // The reply `payload` was taken for the step now asked; the next step begins.
    void Taken(std::span<const std::uint8_t> payload);

private:
    std::vector<std::vector<std::uint8_t>> m_taken;  // payloads of the steps taken
    std::uint32_t m_copiesLeft = 0;                  // late copies still possible
    std::uint32_t m_sendsOfStep = 0;                 // sends of the step now asked
};
