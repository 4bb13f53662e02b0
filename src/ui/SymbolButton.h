#pragma once

#include <QAbstractButton>
#include <QColor>

namespace corvane::ui {

// A borderless button whose label is a symbol above a short caption, all in one colour.
class SymbolButton final : public QAbstractButton {
public:
    // Room around the label for the keyboard focus ring; the label itself starts this far in.
    static constexpr int focusMargin = 4;

    SymbolButton(const QString& symbol, const QString& text, const QColor& color,
                 QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol;
    QColor color;
};

} // namespace corvane::ui
