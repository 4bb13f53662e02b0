#pragma once

#include <QWidget>

namespace corvane::ui {

// The product's mark: four coloured tiles, red, orange, green and mint, on a black strip.
class Emblem final : public QWidget {
public:
    explicit Emblem(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace corvane::ui
