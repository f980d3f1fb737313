#include "console/clsDialogParameter.h"

namespace qv {

void clsDialogParameter::SetParam(const QString& strTo, const QString& strFrom, const QString& strFromControl,
                                  const QVariant& varDataToSend) {
    sendTo_ = strTo;
    sentFrom_ = strFrom;
    control_ = strFromControl;
    data_ = varDataToSend;
}

void clsDialogParameter::Clear() {
    sendTo_.clear();
    sentFrom_.clear();
    control_.clear();
    data_ = QString();
}

QString clsDialogParameter::VarDataText() const {
    if (data_.metaType() == QMetaType::fromType<QPointer<QObject>>()) return QString();
    return data_.toString();
}

void clsDialogParameter::setVarDataObject(QObject* object) {
    data_ = QVariant::fromValue(QPointer<QObject>(object));
}

QObject* clsDialogParameter::VarDataObject() const {
    if (data_.metaType() != QMetaType::fromType<QPointer<QObject>>()) return nullptr;
    return data_.value<QPointer<QObject>>().data();
}

clsDialogParameter& objDialogParameter() {
    static clsDialogParameter record;
    return record;
}

}  // namespace qv
