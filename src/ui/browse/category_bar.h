#pragma once

#include "core/catalog/catalog_model.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class FlowLayout;
class QHBoxLayout;
class QPushButton;

// The two strips above the cards: the main categories and, below them, the
// chosen main category's subcategories headed by "全部". It holds the
// selection; what a choice loads is up to whoever listens.
class CategoryBar final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CategoryBar)

public:
    explicit CategoryBar(QWidget *parent = nullptr);

    // A new tree: one button per main category, no selection, no
    // subcategory strip.
    void set_categories(const catalog::Categories &categories);
    const catalog::Categories &categories() const { return m_categories; }

    // Empty until a main category is chosen.
    QString main_category() const { return m_main_category; }
    // Nothing for "全部" (the whole main category).
    std::optional<QString> subcategory() const { return m_subcategory; }

    // Checks a subcategory button of the main category shown ("全部" for
    // nothing), or none, and emits nothing: a choice whose list could not be
    // had is undone this way.
    void check_subcategory(const std::optional<QString> &name);
    void check_no_subcategory();

    // Puts `widget` at the right end of the "主分类" title's row, after the
    // ones added before.
    void add_to_title_row(QWidget *widget);

    // The buttons in display order, for the window's tests.
    QList<QPushButton *> main_buttons() const;
    QList<QPushButton *> subcategory_buttons() const;

signals:
    // A main category button was clicked (again or not): the subcategory
    // strip shows its subcategories, none of them chosen.
    void main_category_chosen(const QString &name);
    // A subcategory button was clicked; nothing stands for "全部".
    void subcategory_chosen(const QString &main_category, const std::optional<QString> &subcategory);

private:
    void choose_main_category(const QString &name);
    void choose_subcategory(const std::optional<QString> &name);
    void build_subcategory_strip();

    catalog::Categories m_categories;
    QString m_main_category;
    std::optional<QString> m_subcategory;
    QHBoxLayout *m_title_row = nullptr;
    FlowLayout *m_main_layout = nullptr;
    FlowLayout *m_sub_layout = nullptr;
};
