#pragma once

#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QMouseEvent>
#include <QtTest>

#include "formats/fractal_file.h"
#include "formats/palette_file.h"
#include "support/test_files.h"
#include "ui/U_mainform.h"
#include "ui/mainform_fixture.h"

// Files for the browsers' folders and small drivers of the modal windows.
namespace browsertest {

inline ombrilo::FractalRecord Fractal(double cx, double cy, float width,
                                      ombrilo::Palette palette = {}) {
    ombrilo::FractalRecord r;
    r.Cx = cx;
    r.Cy = cy;
    r.CenterX = 0.125f;
    r.CenterY = -0.25f;
    r.ViewWidth = width;
    r.PaletteType = palette.PaletteType;
    r.R0 = palette.R0;
    r.G0 = palette.G0;
    r.B0 = palette.B0;
    r.R1 = palette.R1;
    r.G1 = palette.G1;
    r.B1 = palette.B1;
    return r;
}

inline bool PutFractal(const QString& folder, const QString& fileName,
                       const ombrilo::FractalRecord& record) {
    QDir().mkpath(folder);
    return testfiles::WriteBytes(folder + "/" + fileName,
                                 testfiles::ToBytes(ombrilo::EncodeFractalRecord(record)));
}

inline bool PutPalette(const QString& folder, const QString& fileName,
                       const ombrilo::Palette& palette) {
    QDir().mkpath(folder);
    return testfiles::WriteBytes(folder + "/" + fileName,
                                 testfiles::ToBytes(ombrilo::EncodePalette(palette)));
}

// Shows a browser that the dialog seam hands to a test, so that its widgets behave as on screen.
inline void ShowForTest(QDialog& dialog) {
    dialog.show();
    QApplication::processEvents();
}

inline QStringList Rows(const QListWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->count(); ++i) {
        rows.append(list->item(i)->text());
    }
    return rows;
}

inline void DoubleClick(QWidget* widget, QPoint at) {
    const QPointF local(at);
    const QPointF global = widget->mapToGlobal(local);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

// A message the seam recorded, for comparisons.
struct Message {
    ombrilo::MessageKind kind;
    QString caption;
    QString text;
};

inline bool Has(const RecordingDialogs& d, ombrilo::MessageKind kind, const QString& caption,
                const QString& text) {
    for (const auto& m : d.messages) {
        if (m.kind == kind && m.caption == caption && m.text == text) {
            return true;
        }
    }
    return false;
}

inline const char* kPage = "https://ombrilo.example.org/";

}  // namespace browsertest
