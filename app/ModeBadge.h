#pragma once
// A badge that names the mode (the kiosk's lock) in the corner where the wall has its close button. It
// never takes the mouse: clicks pass through to the wall below.

#include <QWidget>

class ModeBadge : public QWidget {
public:
    ModeBadge(const QString& symbol, const QString& label, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    QString label() const { return label_; }
    void setOpacity(double opacity);
    double opacity() const { return opacity_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    QString label_;
    double opacity_ = 1.0;
};
