// SPDX-License-Identifier: MIT
#include "SNSwresample.h"

#include "SNLibrarySymbols.h"
#include "SNModule.h"
#include "codecs/LAVInternal.h"

#include <bit>
#include <dlfcn.h>

namespace Sonorix {

namespace {

#define SN_TEXT(X) #X
#define SN_SONAME(ALib, AMajor) "lib" ALib ".so." SN_TEXT(AMajor)

// Each bound function's address, or nullptr when one is missing.
struct TBinding {
    TSNLibraryHandle Library;
    TSwresample Functions;
    bool Complete = false;

    TBinding()
    {
        // Kept mapped until exit: a converter may outlive any owner here.
        Library.reset(dlopen(SN_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
        if (!Library)
            return;
        Complete = true;
        auto LBind = [&](auto& AFunction, const char* AName) {
            Complete = BindSymbol(Library.get(), AFunction, AName) && Complete;
        };
        TSwresample& F = Functions;
        LBind(F.swr_alloc_set_opts2, "swr_alloc_set_opts2");
        LBind(F.swr_init, "swr_init");
        LBind(F.swr_free, "swr_free");
        LBind(F.swr_convert, "swr_convert");
        LBind(F.swr_get_out_samples, "swr_get_out_samples");
        // libavutil is a dependency of libswresample: dlsym finds its
        // functions through the same handle.
        LBind(F.av_opt_set_int, "av_opt_set_int");
        LBind(F.av_opt_set_double, "av_opt_set_double");
        LBind(F.av_opt_set_sample_fmt, "av_opt_set_sample_fmt");
        LBind(F.av_channel_layout_from_mask, "av_channel_layout_from_mask");
        LBind(F.av_channel_layout_default, "av_channel_layout_default");
        LBind(F.av_channel_layout_uninit, "av_channel_layout_uninit");
    }
};

} // namespace

const TSwresample* Swresample()
{
    static const TBinding LBinding;
    return LBinding.Complete ? &LBinding.Functions : nullptr;
}

namespace LAV {

// Here rather than with the other conversions of the libav module: the
// Vorbis decompressor of the package library lays out channels too.
void LayoutFromMask(AVChannelLayout& ALayout, uint32_t AMask, unsigned AChannels)
{
    const TSwresample* S = Swresample();
    if (!S) {
        ALayout = AVChannelLayout{};
        ALayout.order = AV_CHANNEL_ORDER_UNSPEC;
        ALayout.nb_channels = static_cast<int>(AChannels);
        return;
    }
    S->av_channel_layout_uninit(&ALayout);
    if (AMask != 0 && static_cast<unsigned>(std::popcount(AMask)) == AChannels &&
        S->av_channel_layout_from_mask(&ALayout, AMask) == 0)
        return;
    S->av_channel_layout_default(&ALayout, static_cast<int>(AChannels));
}

} // namespace LAV

} // namespace Sonorix
