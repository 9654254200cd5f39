// WCM_MemPool: a request's arena.
//
// Everything a request allocates comes from its pool and is released at once when the
// pool dies (or on `free()`); no code path frees single blocks. The pool also offers
// growable "flex" arrays with a hidden 16-byte header, string joining, and whole-file
// reads and writes guarded by a lock file (path + ".pid") for read-modify-write cycles
// between processes.
#ifndef FOUNDATION_WCM_MEMPOOL_H
#define FOUNDATION_WCM_MEMPOOL_H

#include <cstddef>

struct stg_area_t;

class WCM_MemPoolData {
public:
    WCM_MemPoolData();
    ~WCM_MemPoolData();
    WCM_MemPoolData(const WCM_MemPoolData&) = delete;
    WCM_MemPoolData& operator=(const WCM_MemPoolData&) = delete;

    void* alloc(unsigned size);
    void* realloc(void* p, unsigned old_size, unsigned new_size);
    void free();
    char* strdup(const char* s);
    static unsigned flex_data_size(unsigned element_size, int count);
    void* flex_alloc(unsigned element_size, int initial, int growth);
    void* flex_ensure_room(void* array, int index);
    stg_area_t* area() const { return area_; }

private:
    stg_area_t* area_;
};

class WCM_MemPool {
public:
    WCM_MemPool();
    // A copy owns a new, empty area: pools are never shared by copying.
    WCM_MemPool(const WCM_MemPool&);
    WCM_MemPool& operator=(const WCM_MemPool&) = delete;
    virtual ~WCM_MemPool();

    void addref() { ++refcount_; }
    // Drops one reference; the pool deletes itself when none is left. Only for pools
    // made with `new`.
    void release();

    void* alloc(unsigned size) { return data_->alloc(size); }
    void* calloc(unsigned size);
    void* realloc(void* p, unsigned old_size, unsigned new_size) {
        return data_->realloc(p, old_size, new_size);
    }
    void free() { data_->free(); }
    char* strdup(const char* s) { return data_->strdup(s); }
    char* strndup(const char* s, size_t n);
    char* strcat(int count, ...);
    char* ensure_room(char* buf, unsigned& capacity, unsigned extra, unsigned growth);

    static unsigned flex_data_size(unsigned element_size, int count) {
        return WCM_MemPoolData::flex_data_size(element_size, count);
    }
    void* flex_alloc(unsigned element_size, int initial, int growth) {
        return data_->flex_alloc(element_size, initial, growth);
    }
    void* flex_ensure_room(void* array, int index) { return data_->flex_ensure_room(array, index); }
    // Capacity (in elements) of a flex array.
    static int flex_capacity(const void* array);

    // Reads the whole file into the pool. With `lock`, takes the file's lock first and
    // leaves it held in `lock_handle` for a following `write_file`. `flag`: a missing
    // file reads as the empty text. Null on failure (a lock taken here is then released
    // and `lock_handle` is -1).
    char* read_file(const char* path, bool flag, bool lock, int& lock_handle);
    // Replaces the file's contents; takes the lock first when `lock_handle` is negative,
    // and releases it afterwards in every case. `flag`: flush to disk before replacing.
    bool write_file(const char* path, const char* contents, bool flag, int lock_handle);
    // Up to 10 attempts, one second apart; the handle (0 or more) or a negative value.
    int lock_file(const char* path);
    void unlock_file(const char* path, int lock_handle);

    stg_area_t* get_area() const { return data_->area(); }

private:
    int refcount_ = 1;
    WCM_MemPoolData* data_;
};

#endif
