#include "core/install/skin_state.h"

SkinState skin_state(bool on_disk, bool file_pair, QueuePhase queue, int percent, SkinDamage damage, bool updatable)
{
    SkinState state;
    if (file_pair) {
        state.phase = SkinPhase::UnknownPair;
    } else if (queue == QueuePhase::Running) {
        state.phase = SkinPhase::Downloading;
        state.percent = percent;
    } else if (!on_disk) {
        state.phase = queue == QueuePhase::Waiting ? SkinPhase::Waiting : SkinPhase::NotInstalled;
    } else if (damage != SkinDamage::None) {
        state.phase = SkinPhase::Damaged;
        state.damage = damage;
    } else {
        state.phase = updatable ? SkinPhase::Updatable : SkinPhase::Installed;
    }
    return state;
}

SkinState skin_state(const InstallStore &store, const QString &skin_id, bool on_disk, bool file_pair,
                     QueuePhase queue, int percent)
{
    return skin_state(on_disk, file_pair, queue, percent, store.damage(skin_id), store.updatable(skin_id));
}
