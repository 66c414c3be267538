// QVRConfigMgr: a sorted, case-insensitive table of typed settings, set from
// the command line and a configuration file and saved back as commented text.
#ifndef QVR3D_CONFIG_H
#define QVR3D_CONFIG_H

#include <cstdint>

#include "qvr3d/export.h"

/// The game declares its parameters with their defaults, then lets the
/// command line and a file override them:
///
///   QVRConfigMgr cfg;  QVRConfigMgr::CfgValue v;  v.intVal = 640;
///   cfg.AddParameter("width", QVRConfigMgr::CFG_INT, v);
///   cfg.ParseCL(argc, argv);  int w = cfg.GetValue("width", QVRConfigMgr::CFG_INT).intVal;
///
/// Names are compared without regard to ASCII case; the table stays sorted by
/// name. Messages go to the log at LOG level and begin with "Config:".
class QVR_API QVRConfigMgr {
 public:
  /// Value type codes; 0 means "no such parameter".
  enum : int {
    CFG_BOOL = 1,
    CFG_INT = 2,
    CFG_FLOAT = 3,
    CFG_STRING = 4,
    CFG_COLOR = 5,
    CFG_DATE = 6,
  };

  /// One value of any type. It holds a pointer, so it has the platform's
  /// pointer size; `date` counts seconds since 1970-01-01 00:00 UTC, `color`
  /// is red, green, blue, alpha in memory order.
  union CfgValue {
    bool boolVal;
    int32_t intVal;
    float floatVal;
    char* strVal;
    unsigned char color[4];
    uint32_t date;
  };

  /// One parameter; `name` and a string value are owned by the table.
  struct CfgCell {
    char* name;
    int type;
    CfgValue value;
  };

  /// An empty table with room for max(capacity, 4) parameters.
  explicit QVRConfigMgr(unsigned capacity = 16);
  /// Releases names, string values and the cells.
  ~QVRConfigMgr();
  QVRConfigMgr(const QVRConfigMgr&) = delete;
  QVRConfigMgr& operator=(const QVRConfigMgr&) = delete;

  /// Inserts a parameter at its sorted place, copying the name and, for
  /// CFG_STRING, the string (null stays null). False when the name is null,
  /// empty, or already present (in any case). The type is not validated.
  bool AddParameter(const char* name, int type, CfgValue value);
  /// Removes a parameter and releases its name and string. False when unknown.
  bool RemoveParameter(const char* name);
  /// The type code of a parameter, 0 when unknown.
  int ParamType(const char* name) const;
  /// The parameter's cell, or null when unknown.
  CfgCell* GetCell(const char* name) const;
  /// The stored value whatever its type (`type` is not compared); an all-zero
  /// value for an unknown name. A string stays owned by the table.
  CfgValue GetValue(const char* name, int type) const;
  /// Replaces a value. False for an unknown name, or when `type` differs from
  /// the stored type and `changeType` is false. A string value is copied; the
  /// old string is released.
  bool SetValue(const char* name, int type, CfgValue value, bool changeType);
  /// Binary search. True with `position` on the parameter; false with
  /// `position` at the insertion point, or untouched for a null or empty name.
  bool Find(const char* name, unsigned& position) const;
  /// Sets declared parameters from "-name value" arguments (argv[0] skipped).
  /// True when every argument was understood; each problem is logged
  /// ("Config: ignored value", "unknown parameter", "missing value for param",
  /// "unknown value type") and parsing goes on.
  bool ParseCL(int argc, char** argv);
  /// Sets declared parameters from "name value" lines of a text file (lines of
  /// at most 1023 characters; "#" starts a comment line; a longer line ends
  /// the reading). Problems are logged per line. True when at least one
  /// parameter received a value; false also when the file cannot be opened.
  bool ParseFile(const char* fileName);
  /// Writes the header ("#", "# comment" when given, "# Configuration file",
  /// "#", an empty line) and one "name<TAB>value" line per parameter, in table
  /// order. False when the file cannot be written.
  bool Save(const char* fileName, const char* comment) const;
  /// Writes the table to the log at LOG level.
  void PrintInfo() const;

 private:
  bool Grow();
  /// Applies the text `value` to `cell` as ParseFile does; true when set.
  bool SetFromText(CfgCell& cell, const char* value);

  unsigned m_count;
  unsigned m_capacity;
  CfgCell* m_cells;
};

#endif
