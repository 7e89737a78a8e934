#pragma once
// How the window tests reach the controls of TForm1: by their objectName, as a user of the
// window would name them; a missing control fails at once with its name.

#include "app/spinedit.h"
#include "app/widgets.h"
#include "view/pictureview.h"

#include <QObject>
#include <QPushButton>
#include <QtGlobal>

template <typename Control = QWidget> Control *control(const QObject &form, const char *name)
{
    auto *found = form.findChild<Control *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s of that kind", name);
    return found;
}

inline view::PictureView *layerOf(const QObject &form, const char *name)
{
    return control<view::PictureView>(form, name);
}

inline QPushButton *buttonOf(const QObject &form, const char *name)
{
    return control<QPushButton>(form, name);
}

inline SpinEdit *spinOf(const QObject &form, const char *name)
{
    return control<SpinEdit>(form, name);
}

inline LabeledEdit *editOf(const QObject &form, const char *name)
{
    return control<LabeledEdit>(form, name);
}
