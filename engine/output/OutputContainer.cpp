#include "OutputContainer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"
#include "files/MediaOpen.h"
#include "files/UnicodeProtocol.h"

namespace {

bool WritesFile(const AVFormatContext* ctx) {
    return ctx->oformat == nullptr || (ctx->oformat->flags & AVFMT_NOFILE) == 0;
}

void DeleteIfEmpty(const std::string& path) {
    struct stat st {};
    if (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
        unlink(path.c_str());
}

} // namespace

int TOutputContainer::OpenFile() {
    if (context_ == nullptr || context_->url == nullptr)
        return AVERROR(EINVAL);
    const int ret = OpenOutputIO(&context_->pb, context_->url, AVIO_FLAG_WRITE);
    if (ret >= 0)
        fileCreated_ = true;
    return ret;
}

void TOutputContainer::Release() {
    if (headerOptions_ != nullptr)
        ff::av_dict_free(&headerOptions_);
    if (context_ == nullptr)
        return;
    std::string path;
    if (WritesFile(context_)) {
        // Only a file this container had open is ours to delete: a file of that name that
        // was never opened (the output failed before) belongs to someone else.
        const bool opened = fileCreated_ || context_->pb != nullptr;
        if (context_->pb != nullptr)
            CloseOutputIO(&context_->pb);
        if (opened && context_->url != nullptr)
            path = URLToFileName(context_->url);
    }
    ff::avformat_free_context(context_);
    context_ = nullptr;
    DeleteIfEmpty(path);
}
