// What the profile rules and the exchange files need from the pages: a list
// control, a message box and a file dialog. Pages wire their controls to
// these; tests drive the rules with fakes.
#pragma once

#include "tavri/types.h"

// A list of entries, each a text with an integer as item data, with at most
// one selected entry (-1 for none). The profile, macro and language lists.
class EntryList {
public:
    virtual ~EntryList() = default;
    virtual int GetCount() const = 0;
    virtual CString GetText(int index) const = 0;
    virtual int GetItemData(int index) const = 0;
    virtual int GetCurSel() const = 0;
    virtual void SetCurSel(int index) = 0;
    // Appends; returns the new entry's index.
    virtual int AddEntry(const CString& text, int itemData) = 0;
    virtual void SetText(int index, const CString& text) = 0;
    virtual void DeleteEntry(int index) = 0;
    virtual void ResetContent() = 0;
};

// Message box answers and styles as the program's box uses them.
constexpr int kAnswerOk = 1;
constexpr int kAnswerCancel = 2;
constexpr int kStyleOneButton = 0;
constexpr int kStyleTwoButtons = 4;

class MessagePrompt {
public:
    virtual ~MessagePrompt() = default;
    // The program's skinned box: 1 for the first button, 2 for the second
    // or for closing it.
    virtual int ShowMessage(const CString& title, const CString& text, int style) = 0;
    // The system's plain box with one button.
    virtual void ShowSystemMessage(const CString& caption, const CString& text) = 0;
};

enum class FileDialogKind { Open, Save };

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // One filter entry ("Profile (*.xml)", "*.xml"). A save dialog asks
    // before overwriting. False when the user cancels; `path` is native.
    virtual bool ChooseFile(FileDialogKind kind, const CString& filterText, const CString& pattern,
                            CString& path) = 0;
};
