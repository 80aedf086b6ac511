// Installing a scale from text and pre-bending channels for it.
#include "microtune.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/scale_table.h"

namespace {

// Degrees -49..49 cover seven octaves of a heptatonic scale and four of 12-TET.
constexpr int PRE_BEND_REACH = 49;

}  // namespace

extern "C" {

MICROTUNE_EXPORT void MICROTUNE_API SetMidiScale(char *text) {
    mt::ExportLock lock;
    if (!lock) return;
    mt::InstallDefaultScale();
    if (!text || text[0] == '\0') return;

    GetScaleFromText(mt::ScaleTable.ratios, &mt::ScaleTable.nScaleNotes, text,
                     mt::MAX_SCALE_ENTRIES);
    mt::TuningChanged();
    // A zone bends each member before its note: nothing to pre-bend.
    if (mt::iMpeMembers) return;

    // Forget every bend so that the pre-bends below may hand out channels afresh.
    const int channels = mt::ChannelsInUse();
    for (int channel = 0; channel < channels; ++channel) mt::dBend[channel] = mt::BEND_UNASSIGNED;

    // Nearest degrees first, each upward degree before its downward twin.
    DoBendForScaleDegreeInLoop(0);
    for (int i = 1; i <= PRE_BEND_REACH; ++i) {
        DoBendForScaleDegreeInLoop(i);
        DoBendForScaleDegreeInLoop(-i);
    }
}

}  // extern "C"
