#pragma once
// The record through which one window hands data to a modal dialog and reads
// the dialog's answer after it closes.
//
// The hand-over: the caller calls SetParam with the dialog's name as
// receiver, its own name as sender, the control that started the action and
// the data, then shows the dialog modally. The dialog reads SentFrom and
// VarData while it loads; when the user confirms it answers with SetParam
// (receiver = the caller), when the user cancels it leaves the record alone.
// The caller accepts VarData only when SendTo equals its own name.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

namespace qv {

class clsDialogParameter {
public:
    // Overwrites all four fields; the data is copied.
    void SetParam(const QString& strTo, const QString& strFrom, const QString& strFromControl,
                  const QVariant& varDataToSend);
    // The three names and the data become the empty text.
    void Clear();

    const QString& SendTo() const { return sendTo_; }  // name of the window that is to read the data
    void setSendTo(const QString& value) { sendTo_ = value; }
    const QString& SentFrom() const { return sentFrom_; }  // name of the window that wrote the data
    void setSentFrom(const QString& value) { sentFrom_ = value; }
    const QString& strControl() const { return control_; }  // control whose action wrote the data
    void setStrControl(const QString& value) { control_ = value; }

    // The data: a copy of a stored value, or the very object stored by reference.
    QVariant VarData() const { return data_; }
    void setVarData(const QVariant& value) { data_ = value; }
    // The data as text (an object reads as the empty text).
    QString VarDataText() const;
    // Stores a reference to `object`: VarDataObject returns the same object.
    void setVarDataObject(QObject* object);
    // The object stored by reference, or nullptr when the data is a value
    // (or the object has gone).
    QObject* VarDataObject() const;

private:
    QString sendTo_;
    QString sentFrom_;
    QString control_;
    QVariant data_ = QString();
};

// The console's one parameter record, created on first use and kept for the run.
clsDialogParameter& objDialogParameter();

}  // namespace qv
