// One output container of a task. Releasing it closes its file, frees the context and
// deletes the file again when nothing was written to it. In join mode several output slots
// share one container, which is then released once.
#pragma once

#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

class TOutputContainer {
public:
    // Takes ownership of a muxer context (its I/O context, when open, must come from
    // OpenOutputIO).
    explicit TOutputContainer(AVFormatContext* context) : context_(context) {}
    ~TOutputContainer() { Release(); }
    TOutputContainer(const TOutputContainer&) = delete;
    TOutputContainer& operator=(const TOutputContainer&) = delete;

    AVFormatContext* Context() const { return context_; }
    void Release();

private:
    AVFormatContext* context_;
};

using TOutputContainerPtr = std::shared_ptr<TOutputContainer>;
