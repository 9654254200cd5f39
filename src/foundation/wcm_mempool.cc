// WCM_MemPool over a core storage area.
#include "foundation/wcm_mempool.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/stg/stg.h"
#include "core/util/srvlock.h"
#include "core/util/strutl.h"

namespace {

constexpr unsigned kChunkSize = 2048;
constexpr unsigned kFlexHeader = 16;
constexpr int kLockAttempts = 10;
constexpr size_t kLockPathMax = 1024;

// Header words of a flex array, stored just before its first element.
struct FlexHeader {
    uint32_t element_size;
    uint32_t capacity;
    uint32_t step;
    uint32_t unused;
};
static_assert(sizeof(FlexHeader) == kFlexHeader);

FlexHeader* header_of(void* array) {
    return reinterpret_cast<FlexHeader*>(static_cast<char*>(array) - kFlexHeader);
}

bool lock_name(const char* path, char* buf) {
    int n = snprintf(buf, kLockPathMax, "%s.pid", path);
    return n >= 0 && static_cast<size_t>(n) < kLockPathMax;
}

}  // namespace

WCM_MemPoolData::WCM_MemPoolData() : area_(stg_create_area(kChunkSize)) {
    if (!area_) throw std::bad_alloc();
}

WCM_MemPoolData::~WCM_MemPoolData() {
    stg_delete_area(area_);
}

void* WCM_MemPoolData::alloc(unsigned size) {
    return stg_alloc(area_, size);
}

void* WCM_MemPoolData::realloc(void* p, unsigned old_size, unsigned new_size) {
    return stg_resize(area_, p, old_size, new_size);
}

void WCM_MemPoolData::free() {
    stg_free_area(area_);
}

char* WCM_MemPoolData::strdup(const char* s) {
    return stg_area_strdup(area_, s);
}

unsigned WCM_MemPoolData::flex_data_size(unsigned element_size, int count) {
    return static_cast<unsigned>(count) * element_size + kFlexHeader;
}

void* WCM_MemPoolData::flex_alloc(unsigned element_size, int initial, int growth) {
    unsigned step = growth < 1 ? 1u : static_cast<unsigned>(growth);
    unsigned want = initial < 0 ? 0u : static_cast<unsigned>(initial);
    uint64_t capacity = (uint64_t{want} + step - 1) / step * step;
    uint64_t bytes = capacity * element_size + kFlexHeader;
    if (bytes > UINT32_MAX) return nullptr;
    auto* block = static_cast<char*>(stg_alloc(area_, static_cast<size_t>(bytes)));
    if (!block) return nullptr;
    auto* h = reinterpret_cast<FlexHeader*>(block);
    *h = FlexHeader{element_size, static_cast<uint32_t>(capacity), step, 0};
    return block + kFlexHeader;
}

void* WCM_MemPoolData::flex_ensure_room(void* array, int index) {
    if (!array || index < 0) return array;
    FlexHeader* h = header_of(array);
    if (static_cast<uint32_t>(index) < h->capacity) return array;
    uint64_t capacity = (uint64_t(index) + h->step) / h->step * h->step;
    uint64_t bytes = capacity * h->element_size + kFlexHeader;
    if (bytes > UINT32_MAX) return nullptr;
    auto* block = static_cast<char*>(stg_alloc(area_, static_cast<size_t>(bytes)));
    if (!block) return nullptr;
    memcpy(block, h, kFlexHeader + size_t{h->capacity} * h->element_size);
    reinterpret_cast<FlexHeader*>(block)->capacity = static_cast<uint32_t>(capacity);
    return block + kFlexHeader;
}

WCM_MemPool::WCM_MemPool() : data_(new WCM_MemPoolData) {}

WCM_MemPool::WCM_MemPool(const WCM_MemPool&) : data_(new WCM_MemPoolData) {}

WCM_MemPool::~WCM_MemPool() {
    delete data_;
}

void WCM_MemPool::release() {
    if (refcount_ > 0) --refcount_;
    if (refcount_ == 0) delete this;
}

void* WCM_MemPool::calloc(unsigned size) {
    void* p = alloc(size);
    if (p) memset(p, 0, size);
    return p;
}

char* WCM_MemPool::strndup(const char* s, size_t n) {
    return stg_area_strndup(get_area(), s, n);
}

char* WCM_MemPool::strcat(int count, ...) {
    va_list ap;
    size_t total = 0;
    va_start(ap, count);
    for (int i = 0; i < count; ++i) {
        const char* s = va_arg(ap, const char*);
        if (s) total += strlen(s);
    }
    va_end(ap);
    if (total >= UINT32_MAX) return nullptr;
    auto* out = static_cast<char*>(alloc(static_cast<unsigned>(total + 1)));
    if (!out) return nullptr;
    char* p = out;
    va_start(ap, count);
    for (int i = 0; i < count; ++i) {
        const char* s = va_arg(ap, const char*);
        if (!s) continue;
        size_t n = strlen(s);
        memcpy(p, s, n);
        p += n;
    }
    va_end(ap);
    *p = '\0';
    return out;
}

char* WCM_MemPool::ensure_room(char* buf, unsigned& capacity, unsigned extra, unsigned growth) {
    uint64_t len = buf ? strlen(buf) : 0;
    uint64_t needed = len + extra;
    if (needed + 1 <= capacity) return buf;
    uint64_t new_capacity = needed + growth + 1;
    if (new_capacity > UINT32_MAX) return nullptr;
    auto* grown = static_cast<char*>(alloc(static_cast<unsigned>(new_capacity)));
    if (!grown) return nullptr;
    if (buf)
        memcpy(grown, buf, len + 1);
    else
        grown[0] = '\0';
    capacity = static_cast<unsigned>(new_capacity);
    return grown;
}

int WCM_MemPool::flex_capacity(const void* array) {
    if (!array) return 0;
    return static_cast<int>(header_of(const_cast<void*>(array))->capacity);
}

int WCM_MemPool::lock_file(const char* path) {
    char name[kLockPathMax];
    if (!path || !lock_name(path, name)) return -1;
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        int handle = -1;
        if (server_lock_set(name, &handle) == 0) return handle;
        if (attempt + 1 < kLockAttempts) sleep(1);
    }
    return -1;
}

void WCM_MemPool::unlock_file(const char* path, int lock_handle) {
    char name[kLockPathMax];
    if (lock_handle < 0 || !path || !lock_name(path, name)) return;
    server_lock_clear(name, lock_handle);
}

char* WCM_MemPool::read_file(const char* path, bool flag, bool lock, int& lock_handle) {
    if (lock) {
        lock_handle = lock_file(path);
        if (lock_handle < 0) return nullptr;
    }
    char* contents = nullptr;
    if (strutl_read(path, flag, get_area(), &contents) != 0) {
        if (lock) {
            unlock_file(path, lock_handle);
            lock_handle = -1;
        }
        return nullptr;
    }
    return contents;
}

bool WCM_MemPool::write_file(const char* path, const char* contents, bool flag, int lock_handle) {
    if (lock_handle < 0) {
        lock_handle = lock_file(path);
        if (lock_handle < 0) return false;
    }
    bool ok = strutl_write(path, contents, flag) == 0;
    unlock_file(path, lock_handle);
    return ok;
}
