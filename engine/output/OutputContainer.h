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
    // Opens the context's file (its url) for writing through OpenOutputIO; an existing file is
    // truncated. 0 or a negative library error code.
    int OpenFile();
    // The container options for avformat_write_header (the muxer's own options), kept from
    // the output's creation. The header takes what it knows and leaves the rest.
    AVDictionary** HeaderOptions() { return &headerOptions_; }
    void Release();

private:
    AVFormatContext* context_;
    AVDictionary* headerOptions_ = nullptr;
    bool fileCreated_ = false; // OpenFile created or truncated the file
};

using TOutputContainerPtr = std::shared_ptr<TOutputContainer>;
