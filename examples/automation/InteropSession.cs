// RyInet.Session from C# through the interop assembly of its type library, typed calls:
//   tlbimp ryinet_automation.tlb /out:RyInetAutomation.dll
//   csc /r:RyInetAutomation.dll InteropSession.cs
// (or in Visual Studio: Add Reference > COM > RYINET automation, which runs tlbimp.)
using System;
using System.Runtime.InteropServices;
using RyInetAutomation;

static class InteropSession
{
    static int Main(string[] args)
    {
        if (args.Length < 4) { Console.Error.WriteLine("usage: InteropSession SERVER USER PASSWORD FILE"); return 2; }
        IRyInetSession session = new Session();
        try
        {
            session.ShowBoxes = false;
            session.Connect(args[0], args[1], args[2], true);   // passive behind a NAT
            double bytes = session.GetFile(args[3], System.IO.Path.GetFullPath(args[3]));
            Console.WriteLine("{0}: {1} bytes", args[3], bytes);
            session.Close();
        }
        catch (COMException e)
        {
            Console.Error.WriteLine("0x{0:X8}: {1}", e.ErrorCode, e.Message);
            return 1;
        }
        finally { Marshal.ReleaseComObject(session); }
        return 0;
    }
}
