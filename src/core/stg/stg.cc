// Arena allocator behind the storage-area calls.
//
// Invariant: `area->current` is the chunk small requests are served from; every chunk is
// on the `chunks` list and freed with the area. Requests larger than a quarter of the
// chunk size get a chunk of their own so that one big block does not waste the rest of
// the current chunk.
#include "core/stg/stg.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kAlign = alignof(std::max_align_t);

struct Chunk {
    Chunk* next;
    size_t size;  // usable bytes after the header
    size_t used;
    bool own;  // holds one big block only
};

constexpr size_t kHeader = (sizeof(Chunk) + kAlign - 1) & ~(kAlign - 1);

inline size_t round_up(size_t n) {
    return (n + kAlign - 1) & ~(kAlign - 1);
}

inline char* chunk_data(Chunk* c) {
    return reinterpret_cast<char*>(c) + kHeader;
}

}  // namespace

struct stg_area_t {
    size_t chunk_size;
    Chunk* chunks;   // all chunks, newest first
    Chunk* current;  // chunk serving small requests, or null
    size_t footprint;
};

static Chunk* new_chunk(stg_area_t* a, size_t usable) {
    if (usable > SIZE_MAX - kHeader) return nullptr;
    auto* c = static_cast<Chunk*>(::malloc(kHeader + usable));
    if (!c) return nullptr;
    c->size = usable;
    c->used = 0;
    c->own = false;
    c->next = a->chunks;
    a->chunks = c;
    a->footprint += kHeader + usable;
    return c;
}

stg_area_t* stg_create_area(size_t chunk_size) {
    auto* a = static_cast<stg_area_t*>(::malloc(sizeof(stg_area_t)));
    if (!a) return nullptr;
    a->chunk_size = chunk_size < 256 ? 256 : round_up(chunk_size);
    a->chunks = nullptr;
    a->current = nullptr;
    a->footprint = sizeof(stg_area_t);
    return a;
}

void* stg_alloc(stg_area_t* a, size_t size) {
    if (!a) return nullptr;
    if (size == 0) size = 1;
    if (size > SIZE_MAX - kAlign) return nullptr;
    size_t need = round_up(size);
    Chunk* c = a->current;
    if (c && c->size - c->used >= need) {
        void* p = chunk_data(c) + c->used;
        c->used += need;
        return p;
    }
    if (need > a->chunk_size / 4) {
        // Big block: its own chunk, which does not become current.
        Chunk* big = new_chunk(a, need);
        if (!big) return nullptr;
        big->used = need;
        big->own = true;
        return chunk_data(big);
    }
    c = new_chunk(a, a->chunk_size);
    if (!c) return nullptr;
    a->current = c;
    c->used = need;
    return chunk_data(c);
}

char* stg_area_strndup(stg_area_t* a, const char* s, size_t n) {
    if (!s) return nullptr;
    auto* p = static_cast<char*>(stg_alloc(a, n + 1));
    if (!p) return nullptr;
    memcpy(p, s, n);
    p[n] = '\0';
    return p;
}

char* stg_area_strdup(stg_area_t* a, const char* s) {
    return s ? stg_area_strndup(a, s, strlen(s)) : nullptr;
}

void* stg_resize(stg_area_t* a, void* p, size_t old_size, size_t size) {
    if (!a) return nullptr;
    if (!p) return stg_alloc(a, size);
    if (size == 0) size = 1;
    if (size > SIZE_MAX - kAlign) return nullptr;
    size_t need = round_up(size);
    for (Chunk** link = &a->chunks; *link; link = &(*link)->next) {
        Chunk* c = *link;
        if (chunk_data(c) != p) continue;
        if (!c->own || need <= a->chunk_size / 4 || need > SIZE_MAX - kHeader) break;
        // A block with a chunk of its own: the allocator resizes it in place or moves it,
        // by remapping pages when it is large, so the bytes are not copied here.
        auto* moved = static_cast<Chunk*>(::realloc(c, kHeader + need));
        if (!moved) return nullptr;
        a->footprint = a->footprint - moved->size + need;
        moved->size = moved->used = need;
        *link = moved;
        return chunk_data(moved);
    }
    void* q = stg_alloc(a, size);
    if (q) memcpy(q, p, old_size < size ? old_size : size);
    return q;
}

void stg_free_area(stg_area_t* a) {
    if (!a) return;
    for (Chunk* c = a->chunks; c;) {
        Chunk* next = c->next;
        ::free(c);
        c = next;
    }
    a->chunks = nullptr;
    a->current = nullptr;
    a->footprint = sizeof(stg_area_t);
}

void stg_delete_area(stg_area_t* a) {
    if (!a) return;
    stg_free_area(a);
    ::free(a);
}

size_t stg_area_footprint(const stg_area_t* a) {
    return a ? a->footprint : 0;
}

void* stg_malloc(size_t size) {
    return ::malloc(size ? size : 1);
}

void stg_free(void* p) {
    ::free(p);
}
