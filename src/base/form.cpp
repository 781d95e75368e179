#include "form.h"

#include "skin_file.h"

namespace lexivane {

Form::Form(AppContext context, FormControls& controls)
    : context_(std::move(context)), controls_(controls) {}

Steps Form::steps(const QString& handler) const {
    return Steps(desktop(), handler, context_.stepFault);
}

void Form::setMousePointer(int value) {
    mousePointer_ = value;
    desktop().showPointer(value, MouseIcon);
}

void Form::setCaption(const QString& caption) {
    caption_ = caption;
    desktop().setWindowTitle(caption);
}

void CommonDialog::ShowSave(Desktop& desktop) {
    SaveDialogRequest request;
    request.title = DialogTitle;
    request.fileName = FileName;
    const QStringList parts = Filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        request.filters << parts[i] + QLatin1Char('|') + parts[i + 1];
    FileName = desktop.saveDialog(request);
}

void SkinEngine::loadSkin(const QString& path) {
    sheet_ = readSkinFile(path);
    loaded_ = true;
}

void SkinEngine::applyWindow(FormControls& window) {
    if (!loaded_) throw AppError(QStringLiteral("No skin loaded"));
    window.applyStyleSheet(sheet_);
}

} // namespace lexivane
