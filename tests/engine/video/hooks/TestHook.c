/* A frame hook for the tests: counts its calls and remembers its arguments. Configure fails
 * when one argument is "fail". */
#include <stdlib.h>
#include <string.h>

#include "video/FrameHookApi.h"

typedef struct {
    int id;
} THookContext;

static int configureCount;
static int processCount;
static int releaseCount;
static int lastReleasedId;
static char lastArgs[1024];

int Configure(void** ctx, int argc, char* argv[]) {
    lastArgs[0] = '\0';
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "fail") == 0)
            return 1;
        if (i > 0) {
            if (i > 1)
                strncat(lastArgs, "|", sizeof lastArgs - strlen(lastArgs) - 1);
            strncat(lastArgs, argv[i], sizeof lastArgs - strlen(lastArgs) - 1);
        }
    }
    THookContext* c = calloc(1, sizeof *c);
    c->id = ++configureCount;
    *ctx = c;
    return 0;
}

void Process(void* ctx, TFrameHookPicture* picture, int64_t pts) {
    (void)ctx;
    ++processCount;
    if (picture->data[0] != NULL)
        picture->data[0][0] = (uint8_t)(picture->data[0][0] + pts);
}

void Release(void* ctx) {
    ++releaseCount;
    lastReleasedId = ((THookContext*)ctx)->id;
    free(ctx);
}

int TestHookConfigureCount(void) {
    return configureCount;
}
int TestHookProcessCount(void) {
    return processCount;
}
int TestHookReleaseCount(void) {
    return releaseCount;
}
int TestHookLastReleasedId(void) {
    return lastReleasedId;
}
const char* TestHookLastArgs(void) {
    return lastArgs;
}
