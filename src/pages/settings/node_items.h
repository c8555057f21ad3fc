// The one way to the node's data items: reads into value buffers and
// read-modify-write of items, used by the sunblind pages' Read and Write and
// by the node-information page's Save, Load and Copy. No Win32 here: the
// node is reached through ItemAccess, which the sheet answers with the
// host's calls.
//
// Failure policy, for every caller:
// - A read goes into a zeroed value buffer (one zero byte more than any
//   length handed over, for hosts that end what they touch with a zero); a
//   read the node reports failed yields no bytes, and nothing that depends
//   on it is written.
// - An item is changed only by reading it again right before, replacing the
//   bytes and bits under the change's mask and writing it back: every other
//   byte goes back as the node holds it.
// - Apply (the sunblind page's Write) changes one item: a failed read skips
//   it; the write is sent whether or not the bytes change, and its result is
//   not judged (the page's Read that follows shows what the node holds).
// - ApplyAll (Load, Copy) reads every item first: one failed read writes
//   nothing. It then writes group by group (a channel each), reading back
//   each group's written items before the next group starts, so that a
//   stop between groups leaves every group either whole or untouched. An
//   item whose bytes would not change is neither written nor read back.
//   Each written item is read back and compared under its mask; what is
//   read back is what the next group's change of that item starts from.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "sunblind_items.h"

namespace sunblind {

class ItemAccess {
public:
    // Fill / send the first length bytes of buffer; false when the node
    // reports failure or the host offers no such access.
    virtual bool Read(long index, BYTE_T* buffer, long length) = 0;
    virtual bool Write(long index, BYTE_T* buffer, long length) = 0;
    // The node's name, single-byte, zero-terminated when shorter than length.
    virtual bool Name(char* buffer, long length) = 0;

protected:
    ~ItemAccess() = default;
};

using ValueBuffer = std::array<BYTE_T, kValueBufferSize + 1>;

// A change to one item: the bits set in `mask` take their value from
// `bytes`; writeLength bytes are written.
struct ItemChange {
    long item = 0;
    long writeLength = 0;
    ValueBuffer bytes{}, mask{};

    void ApplyTo(ValueBuffer& buffer) const;
    bool HeldBy(const ValueBuffer& buffer) const;  // the masked bits are as wanted
    void Merge(const ItemChange& other);           // the same item: both masks
};

// Which of a channel's page-owned parts a change replaces: the drive time,
// the lux bit, and the block's bytes where `block` is 0xFF.
struct ChannelParts {
    bool driveTime = false, luxBit = false;
    std::array<BYTE_T, kBlockSize> block{};
    static ChannelParts All();
};

// The changes that put `settings` into the node where `parts` says, in the
// order the sunblind page writes them: the drive time item, record 21 (the
// lux bit, and the block of channels 1 and 2), record 22 for channels 3 and 4.
std::vector<ItemChange> ChannelChanges(int channel, const ChannelSettings& settings, const ChannelParts& parts);

enum class Outcome {
    ReadFailed,   // nothing written
    Unchanged,    // the node already holds it: not written (ApplyAll only)
    Refused,      // the node reported the write failed (Apply only)
    Taken,        // written, and read back as wanted (ApplyAll) or sent (Apply)
    NotTaken,     // written, but read back otherwise
    NotReadBack,  // written, but the read back failed
};

// Told between the node calls of a long procedure what comes next, and
// asked whether the user wants it stopped; the window side shows it and
// keeps the window answering.
class Steps {
public:
    // The next calls do `what` ("Writing Sunblind 3"); the whole procedure
    // is now expected to make `expectedCalls` node calls.
    virtual void Step(const std::string& what, int expectedCalls) = 0;
    virtual bool StopAsked() = 0;
    // All of ApplyAll's first reads are made (`held`, per item of `items`)
    // and nothing is written yet.
    virtual void Replacing(const std::vector<long>& /*items*/, const std::vector<ValueBuffer>& /*held*/) {}

protected:
    ~Steps() = default;
};

// Changes written together, and named in the steps: a channel's.
struct ChangeGroup {
    std::string name;
    std::vector<ItemChange> changes;
};

class NodeItems {
public:
    explicit NodeItems(ItemAccess* node) : m_node(node) {}  // null: every call fails

    bool Read(long item, long length, ValueBuffer& buffer);
    bool Name(std::string& name, long length);  // up to the first zero
    // `before` and `sent`, when given, get the bytes read and the bytes sent
    // (left as they are when the read fails).
    Outcome Apply(const ItemChange& change, ValueBuffer* before = nullptr, ValueBuffer* sent = nullptr);

    struct Result {
        bool readFailed = false;  // no group after groupsDone was written
        long failedItem = 0;      // the read that failed
        bool stopped = false;     // the user stopped it before group groupsDone
        std::size_t groupsDone = 0;  // groups written whole (or found unchanged)
        // Per group done, per change: what happened and what the node holds
        // after (the read back, or the read before when not written).
        std::vector<std::vector<Outcome>> outcomes;
        std::vector<std::vector<ValueBuffer>> before;  // what the change started from
        std::vector<std::vector<ValueBuffer>> readBack;
        std::vector<long> refused;  // items whose write the node reported failed
    };
    // Reads `items` in their order (every item the groups change, each once),
    // then writes group by group.
    Result ApplyAll(const std::vector<long>& items, const std::vector<ChangeGroup>& groups, Steps* steps = nullptr);

private:
    ItemAccess* m_node;
};

}  // namespace sunblind
