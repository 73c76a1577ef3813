// The text of an INI file as a list of lines, with lookups and edits that keep every
// line they do not touch (other sections, comments, unknown keys, order, line ends).
#pragma once

#include <string>
#include <vector>

class TIniText {
public:
    // Splits `content` into lines; LF and CR LF line ends are both understood.
    static TIniText Parse(const std::string& content);
    // The text again, each line with its own line end.
    std::string Serialize() const;

    // The value of the first `key` in the first section `section` (both matched without
    // regard to ASCII case), trimmed of blanks. False when there is no such key.
    bool Find(const std::string& section, const std::string& key, std::string& value) const;
    // Sets `key` in `section`: replaces the value of an existing key, otherwise adds the
    // key after the last key of the section, or adds the section at the end of the text.
    void Set(const std::string& section, const std::string& key, const std::string& value);

private:
    struct TLine {
        std::string Text; // without the line end
        std::string Eol;  // "\n", "\r\n" or empty for a last line without an end
    };
    std::string Bom;
    std::vector<TLine> Lines;

    // Index of the header line of the first section `section`, or -1.
    int FindSection(const std::string& section) const;
    // Index of the first line past the section whose header is at `header`.
    int SectionEnd(int header) const;
    // Index of the line that holds `key` in the section at `header`, or -1.
    int FindKey(int header, const std::string& key) const;
    // The line end new lines get: that of the first line that has one, else LF.
    std::string NewLineEnd() const;
    void InsertLine(int index, const std::string& text);
};
