#include "PtsCorrection.h"

void InitPtsCorrection(PtsCorrection& ctx) {
    ctx = PtsCorrection{};
}

int64_t GuessCorrectPts(PtsCorrection& ctx, int64_t reorderedPts, int64_t dts) {
    if (dts != AV_NOPTS_VALUE) {
        if (dts <= ctx.LastDts)
            ++ctx.FaultyDtsCount;
        ctx.LastDts = dts;
    }
    if (reorderedPts != AV_NOPTS_VALUE) {
        if (reorderedPts <= ctx.LastPts)
            ++ctx.FaultyPtsCount;
        ctx.LastPts = reorderedPts;
    }
    if (ctx.FaultyDtsCount < ctx.FaultyPtsCount && dts != AV_NOPTS_VALUE)
        return dts;
    return reorderedPts != AV_NOPTS_VALUE ? reorderedPts : dts;
}
