// Small-block memory pool: requests up to 1,923 bytes come from 30,720-byte
// chunks of the C heap carved into 8-byte granules; larger ones go straight to
// the C heap.
//
// Threads: the pool has no lock. Its calls must come from one thread at a
// time; callers that share it between threads serialise their calls.
// Per module: the runtime is a static library, so each module (DLL or EXE)
// that links it has a pool of its own. A block goes back (PoolFree,
// PoolReAlloc, PoolSize) to the module that allocated it: handed to another
// module, it would land in the wrong pool.
#pragma once

// The declarations are aligned in columns for reading: kept as written.
// clang-format off

#ifdef __cplusplus
extern "C" {
#endif

// Requests are count * elementSize bytes. A product outside 0 .. 2^31 - 1
// (overflowing or negative) is refused with null and counted nowhere.
void* PoolAlloc(int count, int elementSize);      // contents not cleared
void* PoolAllocZero(int count, int elementSize);  // the requested bytes cleared
// Null block: as PoolAlloc. Otherwise always moves the block, also when it
// shrinks; on failure returns null and the old block stays valid.
void* PoolReAlloc(void* block, int count, int elementSize);
void* PoolFree(void* block);                       // null, always; null block: nothing
// 0 for null; the requested size of a large block; a pool block's size in
// granules * 8, its 4-byte header included.
int   PoolSize(const void* block);
// This module's live blocks, allocations since load, peak of live blocks; the
// last two outputs always receive 0. Null outputs are skipped.
void  PoolStats(int* liveBlocks, int* totalAllocations, int* peakLiveBlocks,
                int* reserved1, int* reserved2);
int   PoolLiveCount(void);

// Estimates of usable memory in bytes from the platform's memory status,
// at most 0x7FFFFFFF. These two keep nothing: any thread, at any time.
int   MemoryAllowance(void);  // working-memory budget
int   AvailableMemory(void);  // available physical memory plus available page file

#ifdef __cplusplus
}
#endif
// clang-format on
