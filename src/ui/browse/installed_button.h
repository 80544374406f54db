#pragma once

#include "core/install/installed_scan.h"
#include "core/install/installed_skins.h"

#include <QJsonArray>
#include <QPushButton>
#include <QString>

// "已安装 (N)": the number of installed skins (catalogue skins whose files
// are in the mod folder, and file pairs no record names), and what the
// installed view shows. It reads the folder only when asked to scan.
class InstalledButton final : public QPushButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstalledButton)

public:
    explicit InstalledButton(QWidget *parent = nullptr);

    // The whole catalogue the installed skins are looked up in; takes
    // effect at the next scan.
    void set_catalogue(const QJsonArray &records) { m_index = SkinFileIndex(records); }
    const SkinFileIndex &index() const { return m_index; }
    // Takes a scan of the mod folder (made off the GUI thread) and shows the count.
    void show_scan(const InstalledScan &scan);

    const InstalledSkins &installed() const { return m_installed; }
    // The mod folder's files, as of the last scan.
    const ModFiles &files() const { return m_files; }
    // The cards of the installed view, as of the last scan.
    const QJsonArray &view_records() const { return m_view_records; }
    // The game folder of the last scan; empty before the first.
    const QString &scanned_game_dir() const { return m_game_dir; }

private:
    SkinFileIndex m_index;
    QString m_game_dir;
    ModFiles m_files;
    InstalledSkins m_installed;
    QJsonArray m_view_records;
};

// The low, light look of the buttons in the title's row.
void apply_title_row_look(QPushButton *button);
