#include "simnode.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace simnode {

Node::Node() {
    for (long index : {13L, 14L, 17L, 18L, 21L, 22L, 23L, 24L, 25L, 26L, 27L, 30L, 31L, 32L, 33L})
        items[index] = std::vector<std::uint8_t>(kItemSize, 0);
}

void Node::SetName(const std::string& text) {
    name.assign(text.begin(), text.end());
    if (name.size() > kNameSize) name.resize(kNameSize);
}

std::vector<std::uint8_t>& Node::Item(long index) {
    auto& item = items[index];
    if (item.size() < kItemSize) item.resize(kItemSize, 0);
    return item;
}

void Node::Begin(const void* buffer, long length) {
    spareAt = buffer && length >= 0 ? static_cast<unsigned char*>(const_cast<void*>(buffer)) + length : nullptr;
}

void Node::Record(Call call) {
    if (writesPastLength && spareAt) {
        call.spare = *spareAt;
        *spareAt = 0;
    }
    spareAt = nullptr;
    log.push_back(call);
    if (onCall) onCall(log.back());
}

long Node::ReadItem(long index, unsigned char* buffer, long length) {
    Begin(buffer, length);
    if (beforeCall) beforeCall(Call::Read, index);
    if (latencyMs) Sleep(latencyMs);
    auto it = items.find(index);
    const bool fail = failAll || failRead.count(index) || it == items.end() || length < 0 || !buffer;
    if (fail) {
        if (failFill == FailFill::Scribble && buffer && length > 0) std::memset(buffer, 0xA5, static_cast<size_t>(length));
        Record({Call::Read, index, length, {}, failCode});
        return failCode;
    }
    size_t n = std::min(static_cast<size_t>(length), it->second.size());
    if (shortRead) n = std::min(n, shortRead);
    std::memcpy(buffer, it->second.data(), n);
    Record({Call::Read, index, length, std::vector<std::uint8_t>(buffer, buffer + n), 0});
    return 0;
}

long Node::WriteItem(long index, const unsigned char* buffer, long length) {
    Begin(buffer, length);
    if (beforeCall) beforeCall(Call::Write, index);
    if (latencyMs) Sleep(latencyMs);
    std::vector<std::uint8_t> bytes;
    if (buffer && length > 0) bytes.assign(buffer, buffer + length);
    auto it = items.find(index);
    if (failAll || failWrite.count(index) || it == items.end() || length < 0 ||
        static_cast<size_t>(length) > kItemSize) {
        Record({Call::Write, index, length, bytes, failCode});
        return failCode;
    }
    std::copy(bytes.begin(), bytes.end(), it->second.begin());
    Record({Call::Write, index, length, bytes, 0});
    return 0;
}

long Node::GetNodeName(char* buffer, long length) {
    Begin(buffer, length);
    if (beforeCall) beforeCall(Call::Name, -1);
    if (latencyMs) Sleep(latencyMs);
    if (failAll || failName || !buffer || length <= 0) {
        Record({Call::Name, -1, length, {}, failCode});
        return failCode;
    }
    const size_t n = std::min(static_cast<size_t>(length), name.size());
    std::memcpy(buffer, name.data(), n);
    if (n < static_cast<size_t>(length)) buffer[n] = '\0';
    Record({Call::Name, -1, length, std::vector<std::uint8_t>(buffer, buffer + n), 0});
    return 0;
}

// ---------------------------------------------------------------------------

namespace {

// The node's calls run the host's callbacks (simulation, saving); nothing
// they throw may cross the plug-in's COM call.
template <class Call>
long Guarded(Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

struct Site::ReaderImpl final : INodeReader {
    Site& owner;
    long refs = 0;
    explicit ReaderImpl(Site& s) : owner(s) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_INodeReader) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        owner.releases += 'R';
        return static_cast<ULONG>(--refs);
    }
    long STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE ReadItem(long index, unsigned char* buffer, long length) override {
        return Guarded([&] { return owner.node.ReadItem(index, buffer, length); });
    }
    long STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE GetNodeName(char* buffer, long length) override {
        return Guarded([&] { return owner.node.GetNodeName(buffer, length); });
    }
};

struct Site::WriterImpl final : INodeWriter {
    Site& owner;
    long refs = 0;
    explicit WriterImpl(Site& s) : owner(s) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_INodeWriter) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        owner.releases += 'W';
        return static_cast<ULONG>(--refs);
    }
    long STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE WriteItem(long index, unsigned char* buffer, long length) override {
        return Guarded([&] { return owner.node.WriteItem(index, buffer, length); });
    }
};

struct Site::SiteImpl final : IOleClientSite {
    Site& owner;
    long refs = 0;
    explicit SiteImpl(Site& s) : owner(s) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *ppv = static_cast<IOleClientSite*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == IID_INodeReader) {
            ++owner.readerQueries;
            if (!owner.offerReader) return E_NOINTERFACE;
            if (owner.nullOnSuccess) return S_OK;
            return owner.m_reader->QueryInterface(iid, ppv);
        }
        if (iid == IID_INodeWriter) {
            ++owner.writerQueries;
            if (!owner.offerWriter) return E_NOINTERFACE;
            if (owner.nullOnSuccess) return S_OK;
            return owner.m_writer->QueryInterface(iid, ppv);
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** ppmk) override {
        if (ppmk) *ppmk = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) override {
        if (ppContainer) *ppContainer = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
};

Site::Site(Node& n)
    : node(n),
      m_site(std::make_unique<SiteImpl>(*this)),
      m_reader(std::make_unique<ReaderImpl>(*this)),
      m_writer(std::make_unique<WriterImpl>(*this)) {}

Site::~Site() = default;

IOleClientSite* Site::ClientSite() { return m_site.get(); }
long Site::siteRefs() const { return m_site->refs; }
long Site::readerRefs() const { return m_reader->refs; }
long Site::writerRefs() const { return m_writer->refs; }

}  // namespace simnode
