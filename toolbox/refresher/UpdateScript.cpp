#include "UpdateScript.h"

namespace {

// Runs under cscript with two arguments: the update list and the update log. It stops the
// agent's service, copies each "source, destination" pair of the list and starts the
// service again. Call WMI methods through ExecMethod_ and never name a variable Log: both
// keep the script working under every script host the agent meets.
const char kUpdateScript[] =
    "' external-update.vbs: replaces the agent's files while its service is stopped.\n"
    "' Arguments: the update list (\"source, destination\" a line) and the update log.\n"
    "Option Explicit\n"
    "Const ForReading = 1\n"
    "Const ForAppending = 8\n"
    "Dim fso, listPath, logPath, updateLog, wmi, services, svc, listFile, entry, parts, source, target\n"
    "Dim outcome, failed\n"
    "If WScript.Arguments.Count < 2 Then WScript.Quit 1\n"
    "listPath = Trim(WScript.Arguments.Item(0))\n"
    "logPath = Trim(WScript.Arguments.Item(1))\n"
    "Set fso = CreateObject(\"Scripting.FileSystemObject\")\n"
    "Set updateLog = fso.OpenTextFile(logPath, ForAppending, True)\n"
    "updateLog.WriteLine \"In Update Script, some log corruption may exist\"\n"
    "updateLog.WriteLine \"Checking for update list\"\n"
    "If Not fso.FileExists(listPath) Then\n"
    "    updateLog.Close\n"
    "    WScript.Quit 1\n"
    "End If\n"
    "updateLog.WriteLine \"UpdateList exists\"\n"
    "updateLog.WriteLine \"Finding Service\"\n"
    "failed = False\n"
    "Set wmi = GetObject(\"winmgmts:\" & \"{impersonationLevel=impersonate}!\\\\\" & \".\" & \"\\root\\cimv2\")\n"
    "Set services = wmi.ExecQuery(\"Select * from Win32_Service Where Name =\" & \" 'Tessaro Deployment Agent' \" "
    "& \" \")\n"
    "For Each svc In services\n"
    "    updateLog.WriteLine \"Stopping Service\"\n"
    "    Set outcome = svc.ExecMethod_(\"StopService\")\n"
    "    ' Give the agent's process time to end and let go of its files.\n"
    "    WScript.Sleep 3000\n"
    "    Set listFile = fso.OpenTextFile(listPath, ForReading)\n"
    "    Do Until listFile.AtEndOfStream\n"
    "        entry = listFile.ReadLine\n"
    "        parts = Split(entry, \",\")\n"
    "        If UBound(parts) >= 1 Then\n"
    "            source = Trim(parts(0))\n"
    "            target = Trim(parts(1))\n"
    "            updateLog.WriteLine \"Copying \" & source & \" To \" & target\n"
    "            ' A failed copy must not leave the agent stopped: note it and go on.\n"
    "            On Error Resume Next\n"
    "            fso.CopyFile source, target, True\n"
    "            If Err.Number <> 0 Then\n"
    "                updateLog.WriteLine \"Copy failed: \" & Err.Description & \" (\" & Err.Number & \")\"\n"
    "                failed = True\n"
    "                Err.Clear\n"
    "            End If\n"
    "            On Error GoTo 0\n"
    "        End If\n"
    "    Loop\n"
    "    listFile.Close\n"
    "    updateLog.WriteLine \"Starting Service\"\n"
    "    Set outcome = svc.ExecMethod_(\"StartService\")\n"
    "Next\n"
    "updateLog.Close\n"
    "If failed Then WScript.Quit 2\n"
    "WScript.Quit 0";

}  // namespace

const char *UpdateScriptText() { return kUpdateScript; }
