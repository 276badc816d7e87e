#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

#include <vector>

namespace apptest {

// Pictures of the program as a user sees it, for scripts/screenshots.sh: saved into the folder that
// PELOTUNE_SCREENSHOTS names, and not at all without it.
class Screenshot
{
public:
    static bool wanted() { return !folder().isEmpty(); }

    // The window with every box shown over it, each where it stands on the screen, as `name`.png. A
    // picture of that name taken before is kept: the first look at a screen is the one shown.
    static void screen(QWidget* window, const QString& name)
    {
        if (!wanted() || window == nullptr) {
            return;
        }
        const QString path = QDir(folder()).filePath(name + ".png");
        if (QFile::exists(path)) {
            return;
        }
        QCoreApplication::processEvents();
        // The window first, the boxes above it, the active modal box on top.
        std::vector<QWidget*> layers{window};
        QWidget* top = QApplication::activeModalWidget();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget != window && widget != top && widget->isVisible()) {
                layers.push_back(widget);
            }
        }
        if (top != nullptr && top != window && top->isVisible()) {
            layers.push_back(top);
        }
        QRect area;
        for (QWidget* layer : layers) {
            area |= layer->frameGeometry();
        }
        QImage picture(area.size(), QImage::Format_RGB32);
        picture.fill(Qt::darkGray);
        QPainter painter(&picture);
        for (QWidget* layer : layers) {
            painter.drawPixmap(layer->geometry().topLeft() - area.topLeft(), layer->grab());
        }
        painter.end();
        QDir().mkpath(folder());
        picture.save(path);
    }

private:
    static QString folder() { return qEnvironmentVariable("PELOTUNE_SCREENSHOTS"); }
};

} // namespace apptest
