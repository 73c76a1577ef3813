#include "OutputContainer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "AVFormatStubs.h"
#include "MediaOpen.h"
#include "UnicodeProtocol.h"

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

void TOutputContainer::Release() {
    if (context_ == nullptr)
        return;
    std::string path;
    if (WritesFile(context_)) {
        if (context_->pb != nullptr)
            CloseOutputIO(&context_->pb);
        if (context_->url != nullptr)
            path = URLToFileName(context_->url);
    }
    ff::avformat_free_context(context_);
    context_ = nullptr;
    DeleteIfEmpty(path);
}
