# Sends one message to each number through Tellavo.Gateway, then asks for the
# account's originators and the status of what was sent.
#
# PowerShell loads the Tellavo.dll of its own bitness (the 64-bit one in the
# usual PowerShell of 64-bit Windows, the 32-bit one in the SysWOW64 one):
#   powershell.exe -File send.ps1 USER PASSWORD VENDOR_ID ORIGINATOR NUMBER [NUMBER ...]
#
# Exit status: 0 sent, 1 the gateway failed or refused, 2 wrong arguments,
# 3 a script or COM error.
param(
    [Parameter(Position = 0)] [string] $User,
    [Parameter(Position = 1)] [string] $Password,
    [Parameter(Position = 2)] [string] $VendorId,
    [Parameter(Position = 3)] [string] $Originator,
    [Parameter(Position = 4, ValueFromRemainingArguments = $true)] [string[]] $Numbers
)
$ErrorActionPreference = 'Stop'

# Anything beyond printable ASCII is shown as \uXXXX.
function ConvertTo-Ascii([string] $Text) {
    [regex]::Replace($Text, '[^\x20-\x7E]', { param($m) '\u{0:x4}' -f [int][char]$m.Value })
}

# The lines of a result, without the empty ones.
function Get-Lines([string] $Text) {
    $Text -split "`r?`n" | Where-Object { $_ -ne '' } | ForEach-Object { ConvertTo-Ascii $_ }
}

# "-1": the exchange failed (the event log says why); "-2": nothing to send.
function Test-Failed([string] $Result) {
    $Result -eq '-1' -or $Result -eq '-2'
}

if (-not $Numbers) {
    Write-Output 'usage: send.ps1 USER PASSWORD VENDOR_ID ORIGINATOR NUMBER [NUMBER ...]'
    exit 2
}

try {
    $gateway = New-Object -ComObject Tellavo.Gateway

    $originators = $gateway.getinfo($User, $Password, $VendorId)
    if (Test-Failed $originators) {
        Write-Output "getinfo failed: $originators"
        exit 1
    }
    Write-Output ('originators: ' + ((Get-Lines $originators) -join ', '))

    $gateway.clearsmsbasket()
    foreach ($number in $Numbers) {
        [void] $gateway.addtosmsbasket('Hello from Tellavo (PowerShell)', $number)
    }
    # An empty send date sends at once.
    $id = ([string] $gateway.sendsms($User, $Password, $Originator, '', $VendorId)).Trim()
    if ($id -notmatch '^\d+$') {
        Write-Output ('sendsms failed: ' + (ConvertTo-Ascii $id))
        exit 1
    }
    Write-Output "message id: $id"

    $status = $gateway.getmsgstatus($User, $Password, $id, $VendorId)
    if (Test-Failed $status) {
        Write-Output "getmsgstatus failed: $status"
        exit 1
    }
    foreach ($line in Get-Lines $status) {
        Write-Output "status: $line"
    }
    exit 0
} catch {
    Write-Output ('error: ' + (ConvertTo-Ascii $_.Exception.Message))
    # REGDB_E_CLASSNOTREG: no module of this host's bitness is registered.
    if ($_.Exception.HResult -eq -2147221164) {
        Write-Output ('Tellavo.Gateway is not registered for {0}-bit hosts.' -f (8 * [IntPtr]::Size))
    }
    exit 3
}
