#pragma once

#include <QJsonArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class CoverStore;
class DownloadManager;
class InstallStates;
class FlowLayout;
class QLabel;
class QPushButton;
class SkinWidget;

// The card area and its pager: six cards of the selected category a page,
// "上一页" / "下一页" with the page label, and "刷新页面". In place of cards
// it shows a text (the instructions) or "当前分类下没有皮肤".
class SkinGrid final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SkinGrid)

public:
    static constexpr int ITEMS_PER_PAGE = 6;

    // The cards are handed the download queue and the cover store.
    SkinGrid(DownloadManager &downloads, const InstallStates &states, CoverStore &covers, QWidget *parent = nullptr);

    // The category the pages are filtered by; empty before a main category
    // is chosen (then "刷新页面" does nothing). Takes effect at the next page.
    void select(const QString &main_category, const std::optional<QString> &subcategory);
    std::optional<QString> subcategory() const { return m_subcategory; }
    // The skin list the pages are cut from; takes effect at the next page.
    void set_records(const QJsonArray &records);
    const QJsonArray &records() const { return m_records; }

    // Rebuilds the card area for `page`. False (with the reason in `error`)
    // when the list cannot be paged; the callers report it.
    bool show_page(int page, QString *error = nullptr);
    int current_page() const { return m_page; }
    // The cards on screen, in display order.
    QList<SkinWidget *> cards() const;

    // Shows exactly `records`, in their order, as pages from the first (no
    // category filter, no completeness test), and `empty_text` when there are
    // none: a search's results, the installed skins. The pager pages them
    // until leave_list, a new selection or a text.
    void show_list(const QJsonArray &records, const QString &empty_text);
    bool showing_list() const { return m_list.has_value(); }
    // The list on screen; nothing when none is shown.
    const QJsonArray *shown_list() const { return m_list ? &*m_list : nullptr; }
    // Back to what showed before the list: the category's page, or the text.
    void leave_list();

    // A centred text in place of the cards, and a pager at rest.
    void show_text(const QString &text);
    // Puts `text` into the text on screen; false when none is shown.
    bool replace_text(const QString &text);

    // The folder the cards on screen and later ones install into.
    void set_game_dir(const QString &folder);
    // The cover viewer's window icon.
    void set_viewer_icon_path(const QString &path) { m_viewer_icon_path = path; }

    void show_previous_page();
    void show_next_page();
    // "刷新页面": the covers of the page's cards afresh from the server.
    void refresh_covers();

signals:
    // A box to show; a card's own messages come through here too.
    void message_requested(const QString &title, const QString &message, const QString &kind);
    // A card's uninstall deleted files; comes from within the card's call.
    void skin_uninstalled();
    // A page, a list's page or a text has taken the card area.
    void contents_changed();

private:
    QWidget *create_pager();
    void show_empty_state();
    void reset_pager();
    void report_page_failure(int previous_page, const QString &error);

    DownloadManager &m_downloads;
    const InstallStates &m_states;
    CoverStore &m_covers;
    QJsonArray m_records;
    QString m_main_category;
    std::optional<QString> m_subcategory;
    int m_page = 0;
    std::optional<QJsonArray> m_list;
    QString m_list_empty_text;
    struct {
        std::optional<QString> text;
        int page = 0;
    } m_before_list;
    QString m_game_dir;
    QString m_viewer_icon_path;

    QWidget *m_card_area = nullptr;
    FlowLayout *m_cards = nullptr;
    QPointer<QLabel> m_text;
    QPushButton *m_prev = nullptr;
    QPushButton *m_next = nullptr;
    QLabel *m_page_label = nullptr;
};
