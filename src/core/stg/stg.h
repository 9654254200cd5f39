// Storage areas: arena allocation.
//
// An area hands out blocks by bumping a pointer in its current chunk; blocks are never
// returned one by one. `stg_free_area` drops every block at once and leaves the area
// usable; `stg_delete_area` returns the area itself. Blocks are aligned for any type.
// Allocation failures give null.
#ifndef CORE_STG_STG_H
#define CORE_STG_STG_H

#include <cstddef>

struct stg_area_t;

// New area whose chunks are `chunk_size` bytes (at least 256); null when out of memory.
stg_area_t* stg_create_area(size_t chunk_size);
void* stg_alloc(stg_area_t* area, size_t size);
char* stg_area_strdup(stg_area_t* area, const char* s);
char* stg_area_strndup(stg_area_t* area, const char* s, size_t n);
// Resizes the block `p` (from stg_alloc on `area`, `old_size` bytes; null allocates) to
// `size` bytes, keeping its first bytes. A big block, one with a chunk of its own, is
// resized by the system allocator, which moves a large one by remapping its pages rather
// than copying them; any other block is copied into a new one and the old one stays in the
// area until it is freed. Null when out of memory, with `p` unchanged.
void* stg_resize(stg_area_t* area, void* p, size_t old_size, size_t size);
void stg_free_area(stg_area_t* area);
void stg_delete_area(stg_area_t* area);
// Bytes currently held from the system by the area (chunks and headers).
size_t stg_area_footprint(const stg_area_t* area);

// An area that lives for a scope: `get()` is null when it could not be made.
class stg_scoped_area {
public:
    explicit stg_scoped_area(size_t chunk_size = 4096) : area_(stg_create_area(chunk_size)) {}
    ~stg_scoped_area() {
        if (area_) stg_delete_area(area_);
    }
    stg_scoped_area(const stg_scoped_area&) = delete;
    stg_scoped_area& operator=(const stg_scoped_area&) = delete;
    stg_area_t* get() const { return area_; }

private:
    stg_area_t* area_;
};

// Heap buffers outside any area; the caller frees them with `stg_free`.
void* stg_malloc(size_t size);
void stg_free(void* p);

#endif
