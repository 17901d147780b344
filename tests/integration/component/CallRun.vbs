' Late-bound use of the component from a script, as an administrator's tool would do it.
Option Explicit
Dim component, callback, result
Set component = CreateObject("QELDVecta17x.CAI_Call")
Set callback = CreateObject("Scripting.Dictionary")
On Error Resume Next
component.Run callback, Array("QELDCHECKAPPLICATION", ""), result
WScript.Echo "Run error " & LCase(Hex(Err.Number))
