#!/usr/bin/env python3
"""Every function and static data member that the public headers declare must
be defined in the installed library, so that a game calling it links.

Usage: check_defined.py INCLUDE_DIR LIBRARY [EXCEPTION...]

clang dumps the declarations of the umbrella header (names containing QVR or
Q3D) as JSON, with their mangled names; the library's dynamic symbol table
must hold each one that has no body in the header. Members marked QVR_LOCAL
are internal and skipped. An EXCEPTION is a qualified name such as
QVRSound::SetMixerFormat that may stay undefined for now.
"""
import json
import subprocess
import sys

FUNCTION_KINDS = {"FunctionDecl", "CXXMethodDecl", "CXXConstructorDecl",
                  "CXXDestructorDecl", "CXXConversionDecl"}
SCOPE_KINDS = {"CXXRecordDecl", "NamespaceDecl", "ClassTemplateSpecializationDecl"}


def dump(include_dir, name_filter):
    cmd = ["clang++", "-std=c++17", "-fsyntax-only", "-x", "c++",
           "-I" + include_dir,
           '-DQVR_LOCAL=__attribute__((annotate("qvr_local")))',
           "-Xclang", "-ast-dump=json", "-Xclang", "-ast-dump-filter=" + name_filter,
           include_dir + "/qvr3d/qvr3d.h"]
    text = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    decoder = json.JSONDecoder()
    pos = 0
    while True:
        while pos < len(text) and text[pos].isspace():
            pos += 1
        if pos >= len(text):
            return
        obj, pos = decoder.raw_decode(text, pos)
        yield obj


def has_kind(node, kinds):
    return any(c.get("kind") in kinds for c in node.get("inner", []))


def needs_definition(node):
    kind = node.get("kind")
    if node.get("isImplicit") or node.get("explicitlyDeleted") or node.get("explicitlyDefaulted"):
        return False
    if has_kind(node, {"AnnotateAttr"}):  # QVR_LOCAL
        return False
    if kind in FUNCTION_KINDS:
        return not node.get("pure") and not has_kind(node, {"CompoundStmt"}) \
            and not node.get("inline") and not node.get("constexpr")
    if kind == "VarDecl":  # static data members declared without a value
        return node.get("storageClass") == "static" and not node.get("init") \
            and not node.get("inline") and not node.get("constexpr")
    return False


def collect(node, scope, found):
    kind = node.get("kind")
    name = node.get("name", "")
    if kind in ("FunctionTemplateDecl", "ClassTemplateDecl"):
        return
    if needs_definition(node) and node.get("mangledName"):
        found[node["mangledName"]] = "::".join(scope + [name])
    if kind in SCOPE_KINDS:
        if kind == "CXXRecordDecl" and not node.get("completeDefinition"):
            return
        scope = scope + [name]
    for child in node.get("inner", []):
        collect(child, scope, found)


def main():
    include_dir, library = sys.argv[1], sys.argv[2]
    exceptions = set(sys.argv[3:])
    declared = {}
    for name_filter in ("QVR", "Q3D"):
        for obj in dump(include_dir, name_filter):
            collect(obj, [], declared)
    nm = subprocess.run(["nm", "-D", "--defined-only", library], check=True,
                        capture_output=True, text=True).stdout
    exported = {line.split()[-1] for line in nm.splitlines() if line.strip()}
    missing = sorted((q, m) for m, q in declared.items() if m not in exported)
    unexpected = [(q, m) for q, m in missing if q not in exceptions]
    stale = sorted(exceptions - {q for q, _ in missing})
    print(f"declared-is-defined: {len(declared)} declarations, "
          f"{len(missing) - len(unexpected)} known exceptions")
    for qualified, mangled in unexpected:
        print(f"declared but not defined: {qualified} ({mangled})")
    for qualified in stale:
        print(f"exception no longer needed (it is defined now): {qualified}")
    return 1 if unexpected or stale else 0


if __name__ == "__main__":
    sys.exit(main())
