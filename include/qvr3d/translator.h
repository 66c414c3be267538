// QVRTranslator: the strings of one language, loaded from a binary "LanG"
// language file and handed out by number, and the list of the language files
// found in a folder.
#ifndef QVR3D_TRANSLATOR_H
#define QVR3D_TRANSLATOR_H

#include <cstdint>

#include "qvr3d/export.h"

/// A process-wide translator (a plain object works too):
///
///   QVRTranslator* tr = QVRTranslator::Singleton();
///   tr->Init("lang", ".lng");  tr->LoadName("English");
///   puts(tr->GetString(12));   // "String #12" when there is no string 12
///
/// Nothing is logged except by PrintInfo; failures are false or null results.
/// Meant for the main thread: the placeholder text is one shared buffer.
class QVR_API QVRTranslator {
 public:
  /// The instance, created on the first call.
  static QVRTranslator* Singleton();

  /// An empty translator: no files, nothing loaded.
  QVRTranslator();
  /// Releases everything; clears the singleton pointer when this is it.
  ~QVRTranslator();
  QVRTranslator(const QVRTranslator&) = delete;
  QVRTranslator& operator=(const QVRTranslator&) = delete;

  /// Forgets the file list and the loaded language, then lists the language
  /// files of `directory` (relative to the current directory unless absolute)
  /// whose names end with `extension` (any name when null or empty), skipping
  /// hidden entries and folders. Returns the number of language files found,
  /// 0 for a null or empty directory.
  int Init(const char* directory, const char* extension);
  /// The language name of a language file in a new array (release with
  /// delete[]); null when the file cannot be opened, is not a "LanG" file or
  /// has no name.
  char* CheckLang(const char* fileName) const;
  /// The language name of file record `index`, null when out of range.
  const char* GetLangName(unsigned index) const;
  /// The file path of file record `index`, null when out of range.
  const char* GetLangFile(unsigned index) const;
  /// Loads the first listed file whose language name equals `language`
  /// (case-sensitive); without one, `language` is taken as a file name in the
  /// current directory. False for null, when nothing is listed, or when the
  /// file does not load.
  bool LoadName(const char* language);
  /// Loads `fileName` (relative to the current directory unless absolute),
  /// or with a null name the file of record `index`. False when the file
  /// cannot be read or is not a sound language file; the loaded language then
  /// stays as it was.
  bool Load(const char* fileName, unsigned index);
  /// The loaded language's name, null when nothing is loaded.
  const char* GetCurName() const;
  /// The full path of the loaded file, null when nothing is loaded.
  const char* GetCurFile() const;
  /// String `number` (null when the loaded file has no such string), or for
  /// a number past the table "String #" and the number, in a buffer that the
  /// next such call overwrites.
  const char* GetString(unsigned number);
  /// Number of string slots of the loaded language, 0 when nothing is loaded.
  unsigned GetStringCount() const { return m_stringCount; }
  /// Number of language files listed by Init.
  unsigned GetLangCount() const { return m_fileCount; }
  /// Forgets the file list and the scanned path.
  void DeleteFileArray();
  /// Forgets the loaded language.
  void DeleteStringArray();
  /// At most `count` characters of `s` from `start` in a new array (release
  /// with delete[]); null when `s` is null or empty or `count` is 0.
  char* StrCopy(const char* s, unsigned start, unsigned count) const;
  /// True for "X:\..." (X a letter), or a path starting with "/" or "\".
  bool IsAbsolute(const char* path) const;
  /// Writes the file list and the loaded language (with every string when
  /// `showStrings` is true) to the log at LOG level.
  void PrintInfo(bool showStrings) const;

 private:
  struct LangFile {
    char* name;
    char* path;
  };

  bool AddFile(char* name, char* path);
  /// Reads a language file; `record` is its index in m_files, or -1.
  bool ReadFile(const char* path, int record);
  /// Index of the last record whose path equals `path` (ASCII case ignored).
  int RecordOfPath(const char* path) const;

  static QVRTranslator* m_instance;

  char* m_path;
  char* m_curFile;
  char* m_curName;
  char** m_strings;
  char* m_data;
  LangFile* m_files;
  uint32_t m_fileCount;
  uint32_t m_fileCapacity;
  uint32_t m_stringCount;
  int32_t m_cur;
  char m_missing[20];
};

#endif
