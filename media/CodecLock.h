// The codec lock: one process-wide mutex that serialises opening and closing codecs
// between the worker threads of concurrent tasks, managed through a lock-manager callback.
#pragma once

enum TLockOp { LockCreate = 0, LockObtain = 1, LockRelease = 2, LockDestroy = 3 };

using TLockManager = int (*)(void** mutex, int op);

// The manager the loader registers once avcodec is bound. Returns 0 or -1.
int CodecLockManager(void** mutex, int op);

// Registers a manager (null: none). An existing manager first destroys its mutex; the new
// one creates its own. Returns 0, or -1 when the manager fails.
int RegisterLockManager(TLockManager manager);

// Set at process end: the manager then ignores every operation.
void SetLockFinalizing(bool finalizing);
bool LockFinalizing();

// Holds the codec lock for the lifetime of the object (no-op without a manager).
class TCodecLock {
public:
    TCodecLock();
    ~TCodecLock();
    TCodecLock(const TCodecLock&) = delete;
    TCodecLock& operator=(const TCodecLock&) = delete;

private:
    bool held_ = false;
};
