#include "UpdateScript.h"

namespace {

// Runs under cscript with the update list, the update log and, optionally, the health
// window in seconds. The plug-in has already put each new file beside its destination
// ("<dest>.refresher-new-<n>") and each old one in "<dest>.refresher-old-<n>", both
// flushed, and made the update record durable; the script only renames, so each
// destination is always whole. It swaps the files in while the agent's service is
// stopped, starts the service and watches it through the health window; the old files go
// back when anything fails. Every way out writes a closing line and the result file.
// Call WMI methods through ExecMethod_, read arguments through Arguments.Item and never
// name a variable Log: all three keep the script working under every script host the
// agent meets; so does Pause, since not every host has WScript.Sleep. No error may be
// raised in a loop condition: some hosts repeat such a loop for ever.
const char kUpdateScript[] = R"VBS(' external-update.vbs: swaps in the agent's new files while its service is stopped.
' Arguments: the update list ("source, destination" a line), the update log, and optionally
' the health window in seconds (default 30; a list line "HealthWindow=N" sets it too).
' Exit status: 0 files updated and the new agent held Running through the health window,
' 1 arguments or list missing or unreadable, 2 old files back (or kept) and the service
' running, 3 the service is not running at the end, 4 no agent service or it could not be
' looked up (nothing touched), 5 files mixed: an old file could not be put back (its copy
' is kept beside it).
Option Explicit
Const ForReading = 1
Const ForAppending = 8
Const StartWaitSeconds = 60
Const StopWaitSeconds = 600
Const StopNoteSeconds = 30
Const StartTries = 3
Const SwapTries = 10
Const MaxListLines = 10000
Const MaxHealthWindow = 600
Dim fso, shell, folder, listPath, logPath, updateLog, wmi, svc, outcome, lookupFailed
Dim sources(), targets(), hadOld(), swapped(), count, healthWindow, scheduleId, taskId

' Waits ms milliseconds; where the host has no WScript.Sleep, on the clock instead.
Sub Pause(ms)
    Dim started
    On Error Resume Next
    WScript.Sleep ms
    If Err.Number = 0 Then Exit Sub
    Err.Clear
    started = Timer
    Do While Elapsed(started) < ms / 1000
    Loop
End Sub

' Seconds since started (a Timer value), across midnight.
Function Elapsed(started)
    Elapsed = Timer - started
    If Elapsed < 0 Then Elapsed = Elapsed + 86400
End Function

' One line of the update log; a log that cannot be written never stops the update.
Sub Note(text)
    If updateLog Is Nothing Then Exit Sub
    On Error Resume Next
    updateLog.WriteLine text
End Sub

' The outcome for the plug-in: exit code, closing line and the request's IDs, written
' whole under another name first.
Sub WriteResult(code, text)
    Dim path, out
    If folder = "" Then Exit Sub
    On Error Resume Next
    path = folder & "refresher.result"
    Set out = fso.CreateTextFile(path & ".tmp", True)
    out.WriteLine "Exit=" & code
    out.WriteLine "Line=" & text
    out.WriteLine "Schedule-ID=" & scheduleId
    out.WriteLine "Task-Sequence-ID=" & taskId
    out.Close
    If fso.FileExists(path) Then fso.DeleteFile path, True
    fso.MoveFile path & ".tmp", path
End Sub

Sub Finish(text, code)
    Note text & " (exit " & code & ")"
    WriteResult code, text & " (exit " & code & ")"
    If Not updateLog Is Nothing Then updateLog.Close
    WScript.Quit code
End Sub

Function StagedName(n)
    StagedName = targets(n) & ".refresher-new-" & n
End Function

Function OldCopyName(n)
    OldCopyName = targets(n) & ".refresher-old-" & n
End Function

' Renames from over to in one step (the system's own command processor; the file system
' object cannot replace a file by a rename).
Sub MoveOver(from, target)
    On Error Resume Next
    shell.Run """" & fso.GetSpecialFolder(1) & "\cmd.exe"" /c move /y """ & from & """ """ & target & """ >nul", _
        0, True
End Sub

Sub RemoveFile(path)
    On Error Resume Next
    If fso.FileExists(path) Then fso.DeleteFile path, True
End Sub

Function ServiceQuery()
    ServiceQuery = "Select * from Win32_Service Where Name =" & " 'Tessaro Deployment Agent' " & " "
End Function

' The agent's service, Nothing when there is none (lookupFailed when it cannot be asked).
Function FindService()
    Dim item
    Set FindService = Nothing
    lookupFailed = False
    On Error Resume Next
    Set wmi = GetObject("winmgmts:" & "{impersonationLevel=impersonate}!\\" & "." & "\root\cimv2")
    If Err.Number = 0 Then
        For Each item In wmi.ExecQuery(ServiceQuery())
            Set FindService = item
        Next
    End If
    If Err.Number <> 0 Then
        Note "Service lookup failed: " & Err.Description & " (" & Err.Number & ")"
        lookupFailed = True
    End If
End Function

' The service's state as the service manager reports it now ("" when it cannot be read).
Function ServiceState()
    Dim item
    ServiceState = ""
    On Error Resume Next
    For Each item In wmi.ExecQuery(ServiceQuery())
        ServiceState = item.State
    Next
End Function

' Calls a method of the service, logs and returns its return code (-1: the call itself failed).
Function CallService(method)
    Dim result
    On Error Resume Next
    result = -1
    Set outcome = svc.ExecMethod_(method)
    If Err.Number = 0 Then result = outcome.ReturnValue
    If Err.Number <> 0 Then Note method & " failed: " & Err.Description & " (" & Err.Number & ")"
    Note method & " returned " & result
    CallService = result
End Function

' Polls the service until it reports Running, at most StartWaitSeconds.
Function WaitRunning()
    Dim started, state
    started = Timer
    Do
        state = ServiceState()
        If state = "Running" Or Elapsed(started) >= StartWaitSeconds Then Exit Do
        Pause 500
    Loop
    WaitRunning = (state = "Running")
    If WaitRunning Then
        Note "Service running after " & Int(Elapsed(started)) & " s"
    Else
        Note "Service not running after " & Int(Elapsed(started)) & " s, state: " & state
    End If
End Function

' Waits until the service reports Stopped: as long as it reports Stop Pending, up to
' StopWaitSeconds (noted every StopNoteSeconds); in any other state, StartWaitSeconds.
Function WaitStopped()
    Dim started, waited, state, noted
    started = Timer
    noted = StopNoteSeconds
    Do
        state = ServiceState()
        waited = Elapsed(started)
        If state = "Stopped" Or waited >= StopWaitSeconds Then Exit Do
        If state <> "Stop Pending" And waited >= StartWaitSeconds Then Exit Do
        If waited >= noted Then
            Note "Service still stopping after " & Int(waited) & " s, state: " & state
            noted = noted + StopNoteSeconds
        End If
        Pause 500
    Loop
    WaitStopped = (state = "Stopped")
    If WaitStopped Then
        Note "Service stopped after " & Int(waited) & " s"
    Else
        Note "Service not stopped after " & Int(waited) & " s, state: " & state
    End If
End Function

' Starts the service once it has stopped and tells whether it runs; a start that fails
' is tried again a few times (10: it was running already).
Function StartService()
    Dim try, code
    StartService = False
    For try = 1 To StartTries
        If ServiceState() = "Stop Pending" Then WaitStopped
        Note "Starting Service"
        code = CallService("StartService")
        If code = 0 Or code = 10 Then
            If WaitRunning() Then StartService = True
        ElseIf ServiceState() = "Running" Then
            StartService = True
        End If
        If StartService Then Exit Function
        If try < StartTries Then Pause 5000
    Next
    Note "Service not running, state: " & ServiceState()
End Function

' The new agent proves itself: it must stay Running through the whole health window.
Function Healthy()
    Dim started, state
    Healthy = True
    If healthWindow <= 0 Then Exit Function
    Note "Watching the service for " & healthWindow & " s"
    started = Timer
    Do While Elapsed(started) < healthWindow
        Pause 1000
        state = ServiceState()
        If state <> "Running" And state <> "" Then
            Note "Service left Running after " & Int(Elapsed(started)) & " s, state: " & state
            Healthy = False
            Exit Function
        End If
    Loop
    Note "Service held Running for " & healthWindow & " s"
End Function

Sub SetHealthWindow(text)
    text = Trim(text)
    If text = "" Then Exit Sub
    If Not IsNumeric(text) Then Exit Sub
    healthWindow = Int(CDbl(text))
    If healthWindow < 0 Then healthWindow = 0
    If healthWindow > MaxHealthWindow Then healthWindow = MaxHealthWindow
End Sub

' Reads the list: pairs into sources and targets, settings lines into their values;
' False when it cannot be read.
Function ReadList()
    Dim listFile, entry, parts, lines
    ReadList = False
    count = 0
    On Error Resume Next
    Set listFile = fso.OpenTextFile(listPath, ForReading)
    If Err.Number <> 0 Then
        Note "Update list could not be read: " & Err.Description & " (" & Err.Number & ")"
        Exit Function
    End If
    For lines = 1 To MaxListLines
        If listFile.AtEndOfStream Then Exit For
        entry = Trim(listFile.ReadLine)
        If Err.Number <> 0 Then Exit For
        If Left(entry, 12) = "Schedule-ID=" Then
            scheduleId = Mid(entry, 13)
        ElseIf Left(entry, 17) = "Task-Sequence-ID=" Then
            taskId = Mid(entry, 18)
        ElseIf Left(entry, 13) = "HealthWindow=" Then
            SetHealthWindow Mid(entry, 14)
        Else
            parts = Split(entry, ",")
            If UBound(parts) >= 1 Then
                ReDim Preserve sources(count), targets(count), hadOld(count), swapped(count)
                sources(count) = Trim(parts(0))
                targets(count) = Trim(parts(1))
                swapped(count) = False
                count = count + 1
            End If
        End If
    Next
    If Err.Number <> 0 Then
        Note "Update list could not be read: " & Err.Description & " (" & Err.Number & ")"
        Err.Clear
        listFile.Close
        Exit Function
    End If
    listFile.Close
    ReadList = True
End Function

' Swaps the staged new file in; a file the stopping agent still holds gets more tries.
Function SwapOne(n)
    Dim try
    SwapOne = False
    If Not fso.FileExists(StagedName(n)) Then
        Note "Copy failed: " & StagedName(n) & " does not exist"
        Exit Function
    End If
    For try = 1 To SwapTries
        MoveOver StagedName(n), targets(n)
        If Not fso.FileExists(StagedName(n)) And fso.FileExists(targets(n)) Then
            swapped(n) = True
            SwapOne = True
            Exit Function
        End If
        If try < SwapTries Then Pause 500
    Next
    Note "Copy failed: " & targets(n) & " could not be replaced"
End Function

' Removes what the plug-in staged and the update record: nothing is swapped any more.
Sub Discard()
    Dim n
    For n = 0 To count - 1
        RemoveFile StagedName(n)
        RemoveFile OldCopyName(n)
    Next
    RemoveFile folder & "refresher.intent"
End Sub

' Every destination swapped so far gets its old file back (latest first). True when all
' are back; otherwise the old copies and the update record stay for the next start.
Function PutBack()
    Dim n, back
    PutBack = True
    For n = count - 1 To 0 Step -1
        If swapped(n) Then
            If hadOld(n) Then
                MoveOver OldCopyName(n), targets(n)
                back = Not fso.FileExists(OldCopyName(n)) And fso.FileExists(targets(n))
            Else
                RemoveFile targets(n)
                back = Not fso.FileExists(targets(n))
            End If
            If back Then
                swapped(n) = False
                Note "Put back " & targets(n)
            Else
                PutBack = False
                Note "Could not put back " & targets(n)
            End If
        End If
    Next
    If PutBack Then Discard
End Function

Function AnySwapped()
    Dim n
    AnySwapped = False
    For n = 0 To count - 1
        If swapped(n) Then AnySwapped = True
    Next
End Function

' The new files stay: the record is marked done first, so that an interruption from here
' on only leaves old copies to remove.
Sub Commit()
    Dim record, done, n
    On Error Resume Next
    record = folder & "refresher.intent"
    done = folder & "refresher-intent.done"
    If fso.FileExists(record) Then
        RemoveFile done
        fso.MoveFile record, done
    End If
    For n = 0 To count - 1
        RemoveFile OldCopyName(n)
        RemoveFile StagedName(n)
    Next
    RemoveFile done
End Sub

' The old files back and the old agent started; the closing line says how far it got.
Sub GoBack()
    If Not PutBack() Then
        StartService
        Finish "Files mixed: put-back failed, old copies kept", 5
    End If
    If StartService() Then Finish "Old files back, service running", 2
    Finish "Service not running", 3
End Sub

Sub Main()
    Dim i
    If WScript.Arguments.Count < 2 Then WScript.Quit 1
    listPath = Trim(WScript.Arguments.Item(0))
    logPath = Trim(WScript.Arguments.Item(1))
    healthWindow = 30
    If WScript.Arguments.Count >= 3 Then SetHealthWindow WScript.Arguments.Item(2)
    Set fso = CreateObject("Scripting.FileSystemObject")
    Set shell = CreateObject("WScript.Shell")
    folder = fso.GetParentFolderName(fso.GetAbsolutePathName(listPath))
    If Right(folder, 1) <> "\" Then folder = folder & "\"
    On Error Resume Next
    Set updateLog = fso.OpenTextFile(logPath, ForAppending, True)
    If Err.Number <> 0 Then Set updateLog = Nothing
    Err.Clear
    On Error GoTo 0
    Note "In Update Script, some log corruption may exist"
    Note "Checking for update list"
    If Not fso.FileExists(listPath) Then Finish "Update list not found, nothing done", 1
    Note "UpdateList exists"
    If Not ReadList() Then Finish "Update list unreadable, nothing done", 1
    Note "Finding Service"
    Set svc = FindService()
    If lookupFailed Then
        Discard
        Finish "Service not looked up, nothing stopped or copied", 4
    End If
    If svc Is Nothing Then
        Discard
        Finish "No agent service, nothing copied", 4
    End If
    For i = 0 To count - 1
        hadOld(i) = fso.FileExists(OldCopyName(i))
    Next
    Note "Stopping Service"
    CallService "StopService"
    ' Swap only once the agent's process has let go of its files.
    If Not WaitStopped() Then
        Discard
        If StartService() Then Finish "Old files kept, service running", 2
        Finish "Service not running", 3
    End If
    For i = 0 To count - 1
        Note "Copying " & sources(i) & " To " & targets(i)
        If Not SwapOne(i) Then GoBack
    Next
    ' The new agent must come up and stay up; otherwise the old one comes back.
    If Not StartService() Then GoBack
    If Not Healthy() Then GoBack
    Commit
    Finish "Files updated, service running", 0
End Sub

Set updateLog = Nothing
Set svc = Nothing
folder = ""
count = 0
On Error Resume Next
Main
' Only a runtime error gets here: put back what was swapped, start the agent, and say so.
Note "Script error: " & Err.Description & " (" & Err.Number & ")"
Err.Clear
If AnySwapped() Then GoBack
If Not svc Is Nothing Then
    Discard
    If StartService() Then Finish "Script error, old files kept, service running", 2
End If
Finish "Script error, service not running", 3)VBS";

}  // namespace

const char *UpdateScriptText() { return kUpdateScript; }
