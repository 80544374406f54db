#pragma once

#include "core/install/install_store.h"

#include <QString>

// Where a skin stands, as every card, the installed view and the counts
// draw it. A widget shows this; it never reads its own text back.
enum class SkinPhase {
    NotInstalled,
    Waiting,       // in the download queue, not yet running (drawn as not installed)
    Downloading,   // with a percent, -1 before the first report
    Installed,
    Updatable,     // the server has a newer build
    Damaged,       // see SkinState::damage for why
    UnknownPair,   // a .pak beside its .sig that no catalogue record names
};

// Where the download queue has the skin.
enum class QueuePhase { None, Waiting, Running };

struct SkinState {
    SkinPhase phase = SkinPhase::NotInstalled;
    int percent = -1;
    SkinDamage damage = SkinDamage::None;

    // "卸载" is offered: the skin's files are there to remove.
    bool removable() const
    {
        return phase == SkinPhase::Installed || phase == SkinPhase::Updatable || phase == SkinPhase::Damaged
            || phase == SkinPhase::UnknownPair;
    }
};

// The rule: a running download shows first; a pair no record names is
// always that; a skin on disk is damaged before it is updatable; one not on
// disk is waiting or not installed. `on_disk` is the mod-folder look (either
// file anywhere below it).
SkinState skin_state(bool on_disk, bool file_pair, QueuePhase queue, int percent, SkinDamage damage, bool updatable);

// The same with the damage and the update badge the store holds for `skin_id`.
SkinState skin_state(const InstallStore &store, const QString &skin_id, bool on_disk, bool file_pair,
                     QueuePhase queue, int percent);
