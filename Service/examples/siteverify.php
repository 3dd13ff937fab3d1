<?php
// A site's back end checking a Quillgate answer: post the form's quillgate-response field
// with the site's secret to /siteverify, and accept it only when "success" is true and
// "hostname" is your site's (a token asked for with no page has an empty one).
// Usage: php siteverify.php SERVER_URL SECRET RESPONSE HOSTNAME [REMOTE_IP]
function quillgate_verify(string $server, string $secret, string $response, ?string $remoteip = null): array {
    $fields = ['secret' => $secret, 'response' => $response];
    if ($remoteip !== null) $fields['remoteip'] = $remoteip;
    $context = stream_context_create(['http' => [
        'method' => 'POST',
        'header' => "Content-Type: application/x-www-form-urlencoded\r\n",
        'content' => http_build_query($fields),
        'timeout' => 5,
        'ignore_errors' => true,
    ]]);
    $body = file_get_contents(rtrim($server, '/') . '/siteverify', false, $context);
    return $body === false ? ['success' => false, 'error-codes' => ['unreachable']] : json_decode($body, true);
}

function quillgate_accepted(array $result, string $hostname): bool {
    return ($result['success'] ?? false) === true && ($result['hostname'] ?? null) === $hostname;
}

$result = quillgate_verify($argv[1], $argv[2], $argv[3], $argv[5] ?? null);
echo json_encode($result), "\n";
exit(quillgate_accepted($result, $argv[4]) ? 0 : 1);
