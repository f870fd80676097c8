// GIO's headers use "signals" as a field name: include them before Qt's macros.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/DefaultApps.h"

#include <memory>

namespace DefaultApps {

namespace {
struct ObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ErrorFree
{
    void operator()(GError *error) const { g_error_free(error); }
};
using AppInfo = std::unique_ptr<GAppInfo, ObjectUnref>;
} // namespace

QString defaultFor(const QString &mimeType)
{
    const QByteArray type = mimeType.toUtf8();
    AppInfo app(g_app_info_get_default_for_type(type.constData(), FALSE));
    if (!app)
        return {};
    const char *id = g_app_info_get_id(app.get());
    return id ? QString::fromUtf8(id) : QString();
}

bool setDefault(const QString &desktopId, const QString &mimeType, QString *error)
{
    const QByteArray id = desktopId.toUtf8();
    AppInfo app(G_APP_INFO(g_desktop_app_info_new(id.constData())));
    if (!app) {
        if (error)
            *error = QStringLiteral("no desktop entry %1 is installed").arg(desktopId);
        return false;
    }
    GError *raw = nullptr;
    const QByteArray type = mimeType.toUtf8();
    const bool done = g_app_info_set_as_default_for_type(app.get(), type.constData(), &raw);
    std::unique_ptr<GError, ErrorFree> failure(raw);
    if (!done && error)
        *error = failure ? QString::fromUtf8(failure->message) : QStringLiteral("refused");
    return done;
}

void resetAssociations(const QString &mimeType)
{
    const QByteArray type = mimeType.toUtf8();
    g_app_info_reset_type_associations(type.constData());
}

} // namespace DefaultApps
