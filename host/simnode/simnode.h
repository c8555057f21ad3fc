// A simulated sunblind node and the client site through which a control
// reaches it: the stand-in for the network tool's node access. It keeps the
// node's items as byte images, logs every call, fails chosen calls on demand
// and counts AddRef / Release per interface.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pages/nodeaccess.h"

namespace simnode {

constexpr size_t kItemSize = 32;
constexpr size_t kNameSize = 50;

struct Call {
    enum Op { Read, Write, Name } op;
    long index;    // -1 for Name
    long length;
    std::vector<std::uint8_t> bytes;  // written bytes, or bytes handed back by a read
    long result;
    int spare = -1;  // writesPastLength: the byte found at buffer[length]
};

// How a failing read treats the caller's buffer.
enum class FailFill { Untouched, Scribble };

class Node {
public:
    Node();

    // Item images (32 bytes each); an unknown index reads as failure.
    std::map<long, std::vector<std::uint8_t>> items;
    std::vector<char> name;  // up to 50 bytes, copied raw into GetNodeName's buffer

    // Failure injection.
    std::set<long> failRead, failWrite;
    bool failAll = false;
    bool failName = false;
    long failCode = 1;                   // what failing calls return
    FailFill failFill = FailFill::Untouched;
    size_t shortRead = 0;                // >0: successful reads fill only this many bytes
    DWORD latencyMs = 0;                 // per call
    // A careless host: every call reads the byte just past the length it
    // is given (logged as Call::spare) and writes a terminating zero there.
    bool writesPastLength = false;

    std::vector<Call> log;
    // Called after every call has been logged, e.g. to change the node
    // between a page's read and its write.
    std::function<void(const Call&)> onCall;
    // Called at the start of every call, before latency and failures, e.g.
    // to bring a simulated node up to date before it answers.
    std::function<void(Call::Op op, long index)> beforeCall;

    void SetName(const std::string& text);
    std::vector<std::uint8_t>& Item(long index);

    long ReadItem(long index, unsigned char* buffer, long length);
    long WriteItem(long index, const unsigned char* buffer, long length);
    long GetNodeName(char* buffer, long length);

private:
    void Begin(const void* buffer, long length);
    void Record(Call call);
    unsigned char* spareAt = nullptr;  // buffer[length] of the call in progress
};

// The client site with its two tear-off node-access objects. Which
// interfaces the site answers to is chosen per test; each interface's
// reference count is kept apart.
class Site {
public:
    explicit Site(Node& node);
    ~Site();
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;

    bool offerReader = true;
    bool offerWriter = true;
    bool nullOnSuccess = false;  // a broken host: S_OK with a null pointer

    IOleClientSite* ClientSite();

    // Outstanding references handed out beyond the site's own.
    long siteRefs() const;
    long readerRefs() const;
    long writerRefs() const;
    int readerQueries = 0, writerQueries = 0;
    std::string releases;  // 'R' / 'W' per Release of the reader / writer, in order

    Node& node;

    struct SiteImpl;
    struct ReaderImpl;
    struct WriterImpl;

private:
    // Freed with the site, never by a Release: their counts are only kept.
    std::unique_ptr<SiteImpl> m_site;
    std::unique_ptr<ReaderImpl> m_reader;
    std::unique_ptr<WriterImpl> m_writer;
};

}  // namespace simnode
